// The virtual printer's text and format commands: characters, lines, cuts and page mode.
#include "sim/VirtualPrinter.h"

#include "sim/EscPosCodes.h"

namespace QVO::Sim {

using namespace EscPos;

namespace {

constexpr int kMaxUnderline = 2;       // dots
constexpr int kLastFont = 1;           // 0 A, 1 B
constexpr int kLastJustification = 2;  // left, centre, right
constexpr int kLastPageDirection = 3;  // four quarter turns
constexpr int kMaxCharacterScale = 8;  // GS ! multiplies by at most 8 each way
constexpr int kNoFeed = -1;            // a cut without a feed of its own

// The first numeric parameter, 0 for commands that have none.
int FirstArg(const Command& cmd) { return cmd.args.empty() ? 0 : cmd.args[0]; }

// A 16-bit parameter read as the signed distance it stands for (ESC \, GS \).
int SignedWord(int word) { return int16_t(uint16_t(word)); }

}  // namespace

bool VirtualPrinter::ApplyCharacterLocked(const Command& cmd) {
    const int value = FirstArg(cmd);
    PrinterState& st = state_;
    switch (cmd.op) {
        case Op::PrintModes:
            st.font = (value & PrintModeBits::kFontB) ? 1 : 0;
            st.emphasized = value & PrintModeBits::kEmphasized;
            st.heightMul = (value & PrintModeBits::kDoubleHeight) ? 2 : 1;
            st.widthMul = (value & PrintModeBits::kDoubleWidth) ? 2 : 1;
            st.underline = (value & PrintModeBits::kUnderline) ? 1 : 0;
            return true;
        case Op::CharSize:
            st.widthMul = ((value >> 4) & 0x0F) + 1;
            st.heightMul = (value & 0x0F) + 1;
            if (st.widthMul > kMaxCharacterScale || st.heightMul > kMaxCharacterScale)
                st.widthMul = st.heightMul = 1;  // refused
            return true;
        case Op::Underline:
            if (SelectorValue(value) <= kMaxUnderline) st.underline = SelectorValue(value);
            return true;
        case Op::Font:
            if (SelectorValue(value) <= kLastFont) st.font = SelectorValue(value);
            return true;
        case Op::CharSpacing:
            st.charSpacing = value;
            return true;
        case Op::Emphasis:
            st.emphasized = SwitchedOn(value);
            return true;
        case Op::DoubleStrike:
            st.doubleStrike = SwitchedOn(value);
            return true;
        case Op::InternationalSet:
            st.intlSet = value;
            return true;
        case Op::CodeTable:
            st.codeTable = value;
            return true;
        case Op::Rotate90:
            st.rotate90 = SwitchedOn(value);
            return true;
        case Op::UpsideDown:
            st.upsideDown = SwitchedOn(value);
            return true;
        case Op::Reverse:
            st.reverse = SwitchedOn(value);
            return true;
        case Op::Smoothing:
            st.smoothing = SwitchedOn(value);
            return true;
        case Op::KanjiOn:
            st.kanji = true;
            return true;
        case Op::KanjiOff:
            st.kanji = false;
            return true;
        default:
            return false;
    }
}

bool VirtualPrinter::ApplyLineLocked(const Command& cmd) {
    const int value = FirstArg(cmd);
    PrinterState& st = state_;
    switch (cmd.op) {
        case Op::Text:
            st.textBytes += cmd.data.size();
            paper_->Text(cmd.data, st);
            return true;
        case Op::HorizontalTab:
            paper_->Tab(st);
            return true;
        case Op::LineFeed:
            paper_->PrintLine(st, PrintTarget::kByLineSpacing);
            return true;
        case Op::FeedUnits:
            paper_->PrintLine(st, value);
            return true;
        case Op::FeedLines:
            paper_->PrintLine(st, value * LineSpacingUnits(identity_, st));
            return true;
        case Op::AbsolutePosition:
            paper_->SetColumn(value);
            return true;
        case Op::RelativePosition:
            paper_->SetColumn(paper_->Column() + SignedWord(value));
            return true;
        case Op::DefaultLineSpacing:
            st.lineSpacing = -1;
            return true;
        case Op::LineSpacing:
            st.lineSpacing = value;
            return true;
        case Op::TabStops:
            st.tabStops = cmd.args;
            return true;
        case Op::LeftMargin:
            st.leftMargin = value;
            return true;
        case Op::PrintAreaWidth:
            st.printAreaWidth = value;
            return true;
        case Op::Justify:
            if (SelectorValue(value) <= kLastJustification) st.justification = SelectorValue(value);
            return true;
        case Op::CutFullLegacy:
            CutLocked(false, kNoFeed);
            return true;
        case Op::CutPartialLegacy:
            CutLocked(true, kNoFeed);
            return true;
        // GS V: the forms with a feed amount feed that far first.
        case Op::CutFull:
            CutLocked(false, cmd.args.size() > 1 ? cmd.args[1] : kNoFeed);
            return true;
        case Op::CutPartial:
            CutLocked(true, cmd.args.size() > 1 ? cmd.args[1] : kNoFeed);
            return true;
        default:
            return false;
    }
}

// A printer without a cutter still feeds as the command says; it only cannot cut.
void VirtualPrinter::CutLocked(bool partial, int feedUnits) {
    if (feedUnits != kNoFeed) paper_->PrintLine(state_, feedUnits);
    if (!identity_.cutter) return NoteLocked("cut_ignored", "no cutter");
    paper_->Cut(partial);
    ++(partial ? state_.partialCuts : state_.fullCuts);
}

bool VirtualPrinter::ApplyPageLocked(const Command& cmd) {
    const int value = FirstArg(cmd);
    PrinterState& st = state_;
    switch (cmd.op) {
        case Op::PageMode:
            if (!st.pageMode) {
                st.pageMode = true;
                paper_->EnterPageMode(st);
            }
            return true;
        case Op::StandardMode:
            if (st.pageMode) {
                st.pageMode = false;
                paper_->LeavePageMode();
            }
            return true;
        case Op::FormFeed:
            if (!st.pageMode) {
                paper_->PrintLine(st, PrintTarget::kByLineSpacing);
                return true;
            }
            paper_->PrintPage(st);
            paper_->LeavePageMode();
            st.pageMode = false;
            return true;
        case Op::PrintPage:
            if (st.pageMode) paper_->PrintPage(st);
            return true;
        case Op::Cancel:
            if (st.pageMode) paper_->ClearPage();
            return true;
        case Op::PageDirection:
            if (SelectorValue(value) > kLastPageDirection) return true;
            st.pageDirection = SelectorValue(value);
            // The page is laid out along the print direction: start it again that way.
            if (st.pageMode) paper_->EnterPageMode(st);
            return true;
        case Op::PageArea:
            st.pageArea = {cmd.args[0], cmd.args[1], cmd.args[2], cmd.args[3]};
            if (st.pageMode) paper_->EnterPageMode(st);
            return true;
        case Op::AbsoluteVerticalPosition:
            paper_->SetPageY(value);
            return true;
        case Op::RelativeVerticalPosition:
            paper_->MovePageY(SignedWord(value));
            return true;
        default:
            return false;
    }
}

bool VirtualPrinter::ApplyControlLocked(const Command& cmd) {
    switch (cmd.op) {
        case Op::Initialize:
            paper_->Reset();
            ResetStateLocked();
            return true;
        case Op::SelectPeripheral:
            state_.peripheralEnabled = SwitchedOn(FirstArg(cmd));
            return true;
        case Op::Buzzer:
            ++state_.buzzerCount;
            return true;
        case Op::RealTimeClearBuffers:
            paper_->Reset();
            return true;
        default:
            return false;
    }
}

}  // namespace QVO::Sim
