// The virtual printer's answers: real-time status, transmit status, printer information, ASB.
#include "sim/VirtualPrinter.h"

#include "sim/EscPosCodes.h"

#include <algorithm>

namespace QVO::Sim {

using namespace EscPos;

bool VirtualPrinter::ApplyReplyLocked(const Command& cmd) {
    const int value = cmd.args.empty() ? 0 : cmd.args[0];
    switch (cmd.op) {
        case Op::RealTimeStatus:
            if (value >= RealTimeStatus::kPrinter && value <= RealTimeStatus::kPaperSensor)
                ReplyLocked({RealTimeStatusByte(value, conditions_)});
            return true;
        case Op::TransmitStatus:
            AnswerTransmitStatusLocked(value);
            return true;
        case Op::PrinterInfo:
            AnswerPrinterInfoLocked(value);
            return true;
        case Op::AsbEnable:
            state_.asbMask = value;
            if (value) SendAutoStatusLocked();  // the first block follows at once
            return true;
        case Op::ProcessIdRequest:
            AnswerProcessIdLocked(cmd);
            return true;
        case Op::Maintenance:
            if (value == Maintenance::kTransmitCounter)
                ReplyLocked({PrinterInfo::kTextHeader, '0', 0});  // counters start at zero here
            return true;
        default:
            return false;
    }
}

uint8_t VirtualPrinter::RealTimeStatusByte(int request, const PrinterConditions& conditions) {
    using namespace RealTimeStatusBits;
    uint8_t status = kFixed;
    switch (request) {
        case RealTimeStatus::kPrinter:
            if (conditions.DrawerLevel()) status |= kDrawerLevel;
            if (conditions.Offline()) status |= kOffline;
            break;
        case RealTimeStatus::kOfflineCause:
            if (conditions.coverOpen) status |= kCoverOpen;
            if (conditions.paper == PaperLevel::Empty) status |= kStoppedByPaperEnd;
            break;
        case RealTimeStatus::kPaperSensor:
            // The near-end sensor also sees no paper when the roll has run out.
            if (conditions.paper != PaperLevel::Normal) status |= kNearEnd;
            if (conditions.paper == PaperLevel::Empty) status |= kPaperEnd;
            break;
        default:
            break;  // kErrorCause: this printer has no errors to report
    }
    return status;
}

std::vector<uint8_t> VirtualPrinter::AutoStatusBlock(const PrinterConditions& conditions) {
    using namespace AsbBits;
    uint8_t first = kFixed0;
    if (conditions.DrawerLevel()) first |= kDrawerLevel0;
    if (conditions.Offline()) first |= kOffline0;
    if (conditions.coverOpen) first |= kCoverOpen0;
    uint8_t paper = 0;
    if (conditions.paper != PaperLevel::Normal) paper |= kNearEnd2;
    if (conditions.paper == PaperLevel::Empty) paper |= kPaperEnd2;
    return {first, 0x00, paper, 0x00};
}

void VirtualPrinter::AnswerTransmitStatusLocked(int request) {
    using namespace TransmitStatus;
    const PaperLevel paper = conditions_.paper;
    switch (request) {
        case kPaperSensor:
        case '0' + kPaperSensor:
            ReplyLocked({uint8_t((paper != PaperLevel::Normal ? kNearEndBits : 0) |
                                 (paper == PaperLevel::Empty ? kPaperEndBits : 0))});
            break;
        case kDrawer:
        case '0' + kDrawer:
            ReplyLocked({uint8_t(conditions_.DrawerLevel() ? kDrawerLevelBit : 0)});
            break;
        default:
            break;
    }
}

void VirtualPrinter::AnswerPrinterInfoLocked(int request) {
    using namespace PrinterInfo;
    auto text = [this](const std::string& s) QUVO_REQUIRES(mutex_) {
        // "_" text NUL, sized up front (growing from one byte trips a false g++ bounds warning).
        std::vector<uint8_t> out(s.size() + 2, 0);
        out[0] = kTextHeader;
        std::copy(s.begin(), s.end(), out.begin() + 1);
        ReplyLocked(out);
    };
    switch (request) {
        case kModelId:
        case '0' + kModelId:
            ReplyLocked({identity_.modelId});
            break;
        case kTypeId:
        case '0' + kTypeId:
            // Bit 0 two-byte characters, bit 1 autocutter; bit 4 is always 0.
            ReplyLocked({uint8_t((identity_.multiByte ? kTypeMultiByte : 0) | (identity_.cutter ? kTypeCutter : 0))});
            break;
        case kRomVersion:
        case '0' + kRomVersion:
            ReplyLocked({identity_.romVersionId});
            break;
        case kFirmware:
            text(identity_.firmware);
            break;
        case kMaker:
            text(identity_.maker);
            break;
        case kModelName:
            text(identity_.modelName);
            break;
        case kSerial:
            text(identity_.serial);
            break;
        case kFontLanguage:
            text(identity_.multiByte ? "KANJI" : "ANK");
            break;
        default:
            break;
    }
}

// Carried out in stream order like printing (held while offline), so the answer tells the host
// that everything sent before the request has been processed.
void VirtualPrinter::AnswerProcessIdLocked(const Command& cmd) {
    using namespace ProcessId;
    if (cmd.args.empty() || cmd.args[0] != kFunction || cmd.data.size() != 1 + kIdBytes || cmd.data[0] != kMode) return;
    std::vector<uint8_t> answer{kAnswerHeader0, kAnswerHeader1};
    for (size_t i = 1; i <= kIdBytes; ++i) {
        if (cmd.data[i] < kLowest || cmd.data[i] > kHighest) return;  // a printer ignores such a request
        answer.push_back(cmd.data[i]);
    }
    answer.push_back(kAnswerEnd);
    ReplyLocked(answer);
}

void VirtualPrinter::SendAutoStatusLocked() {
    if (state_.asbMask == 0) return;
    ReplyLocked(AutoStatusBlock(conditions_));
}

}  // namespace QVO::Sim
