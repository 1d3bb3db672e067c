// The virtual printer's core: construction, command dispatch, state reset and accessors.
#include "sim/VirtualPrinter.h"

#include <sys/eventfd.h>

namespace QVO::Sim {

using QVO::Platform::MutexLock;

namespace {

constexpr size_t kMaxTrace = 20000;

const char* PaperName(PaperLevel level) {
    switch (level) {
        case PaperLevel::Normal:
            return "normal";
        case PaperLevel::NearEnd:
            return "near-end";
        case PaperLevel::Empty:
            return "empty";
    }
    return "?";
}

const char* OnOff(bool on) { return on ? "on" : "off"; }

std::unique_ptr<PrintTarget> MakePaper(const PrinterIdentity& identity, VirtualPrinter::Rendering rendering) {
    if (rendering == VirtualPrinter::Rendering::Off) return std::make_unique<NoPaper>();
    return std::make_unique<Paper>(identity);
}

// Commands an offline printer still carries out at once: real-time requests, status and
// information requests and the ASB switch; everything else waits until it is back online.
bool AnswersWhileOffline(Op op) {
    return IsRealTime(op) || op == Op::TransmitStatus || op == Op::PrinterInfo || op == Op::AsbEnable;
}

}  // namespace

VirtualPrinter::VirtualPrinter(PrinterIdentity identity, Rendering rendering)
    : identity_(std::move(identity)),
      paper_(MakePaper(identity_, rendering)),
      notify_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    MutexLock lock(mutex_);  // nobody else can see the printer yet; the lock satisfies the checks
    decoder_.set_rasterNvDefinitions(identity_.framed);
    ResetStateLocked();
}

VirtualPrinter::~VirtualPrinter() = default;

void VirtualPrinter::HandleCommandLocked(const Command& cmd) {
    if (cmd.op == Op::Text && !cmd.truncated && log_.IsOpen()) {
        const std::string printed = printed_.Decode(cmd.data, state_);
        log_.Write(cmd, &printed);
    } else {
        log_.Write(cmd);
    }
    if (trace_.size() < kMaxTrace) trace_.push_back(TraceText(cmd));
    if (cmd.unknown() || cmd.truncated) return;
    if (conditions_.Offline() && !AnswersWhileOffline(cmd.op)) {
        held_.push_back(cmd);  // a printer offline keeps receiving; it prints once back online
        heldBytes_ += cmd.raw.size();
        return;
    }
    ApplyLocked(cmd);
}

void VirtualPrinter::ApplyLocked(const Command& cmd) {
    // A deselected printer ignores everything but the command that selects it again.
    if (!state_.peripheralEnabled && cmd.op != Op::SelectPeripheral && !IsRealTime(cmd.op)) return;
    // Each group takes the commands it knows; the rest (macros, Kanji details, settings
    // this printer does not model) change nothing.
    using Group = bool (VirtualPrinter::*)(const Command&);
    static constexpr Group kGroups[] = {
        &VirtualPrinter::ApplyCharacterLocked, &VirtualPrinter::ApplyLineLocked,   &VirtualPrinter::ApplyPageLocked,
        &VirtualPrinter::ApplyControlLocked,   &VirtualPrinter::ApplyImageLocked,  &VirtualPrinter::ApplyBarcodeLocked,
        &VirtualPrinter::ApplyGraphicsLocked,  &VirtualPrinter::ApplySymbolLocked, &VirtualPrinter::ApplyReplyLocked,
        &VirtualPrinter::ApplyDrawerLocked,
    };
    for (Group group : kGroups)
        if ((this->*group)(cmd)) return;
}

void VirtualPrinter::ResetStateLocked() {
    PrinterState fresh;
    fresh.nvImages = std::move(state_.nvImages);  // non-volatile: survives ESC @ and power
    fresh.asbMask = state_.asbMask;
    fresh.fullCuts = state_.fullCuts;
    fresh.partialCuts = state_.partialCuts;
    fresh.drawerPulses = state_.drawerPulses;
    fresh.buzzerCount = state_.buzzerCount;
    fresh.textBytes = state_.textBytes;
    fresh.printAreaWidth = identity_.printWidthDots;
    fresh.pageArea = {0, 0, identity_.printWidthDots, identity_.printWidthDots * 2};
    state_ = std::move(fresh);
    printed_.Reset();
}

void VirtualPrinter::NoteLocked(const std::string& event, const std::string& detail) {
    log_.Note(event, detail);
    if (trace_.size() < kMaxTrace) trace_.push_back("note " + event + (detail.empty() ? "" : " " + detail));
}

bool VirtualPrinter::OpenLog(const std::string& path) {
    MutexLock lock(mutex_);
    return log_.Open(path);
}

PrinterConditions VirtualPrinter::Conditions() const {
    MutexLock lock(mutex_);
    return conditions_;
}

PrinterState VirtualPrinter::State() const {
    MutexLock lock(mutex_);
    return state_;
}

std::vector<std::string> VirtualPrinter::Trace() const {
    MutexLock lock(mutex_);
    return trace_;
}

std::vector<std::string> VirtualPrinter::TraceTail(size_t count) const {
    MutexLock lock(mutex_);
    const size_t from = trace_.size() > count ? trace_.size() - count : 0;
    return std::vector<std::string>(trace_.begin() + static_cast<std::ptrdiff_t>(from), trace_.end());
}

std::string VirtualPrinter::StatusText() const {
    MutexLock lock(mutex_);
    const PrinterConditions& c = conditions_;
    std::string s = "model=" + identity_.modelName;
    s += std::string(" cover=") + (c.coverOpen ? "open" : "closed");
    s += std::string(" paper=") + PaperName(c.paper);
    s += std::string(" drawer=") + (c.drawerOpen ? "open" : "closed");
    s += std::string(" offline=") + OnOff(c.Offline());
    s += std::string(" mute=") + OnOff(c.mute);
    s += " rate=" + std::to_string(c.bytesPerSecond);
    s += " asb=" + std::to_string(state_.asbMask);
    s += std::string(" page_mode=") + OnOff(state_.pageMode);
    s += " cuts=" + std::to_string(state_.fullCuts + state_.partialCuts);
    s += " pulses=" + std::to_string(state_.drawerPulses);
    s += " held=" + std::to_string(held_.size());
    return s;
}

bool VirtualPrinter::WritePng(const std::string& path) const {
    MutexLock lock(mutex_);
    return paper_->WritePng(path);
}

Canvas VirtualPrinter::Picture() const {
    MutexLock lock(mutex_);
    return paper_->Picture();
}

}  // namespace QVO::Sim
