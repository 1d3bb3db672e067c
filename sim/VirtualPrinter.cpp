// The virtual printer: link input (raw or framed), command dispatch, replies and faults.
#include "sim/VirtualPrinter.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace QVO::Sim {

namespace {

constexpr uint8_t ESC = 0x1B, GS = 0x1D, FS = 0x1C, DLE = 0x10;
constexpr uint8_t kPacketStart = 0xAA, kPacketEnd = 0xBB;
constexpr uint8_t kAck = 0x06, kNak = 0x15;
constexpr size_t kMaxPacketData = 46;
constexpr size_t kMaxTrace = 20000;

// ASB categories of GS a n.
constexpr int kAsbDrawer = 0x01, kAsbOnline = 0x02, kAsbPaper = 0x08;

int Flag(int n) { return n & 1; }
int Low2(int n) { return n >= 48 ? n - 48 : n; }

uint8_t Xor(const uint8_t* p, size_t n) {
    uint8_t x = 0;
    for (size_t i = 0; i < n; ++i) x ^= p[i];
    return x;
}

// Packets of at most 46 bytes, each AA len data xor BB, as the framed model speaks.
std::vector<uint8_t> Frame(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    for (size_t at = 0; at < data.size(); at += kMaxPacketData) {
        const size_t len = std::min(kMaxPacketData, data.size() - at);
        out.push_back(kPacketStart);
        out.push_back(uint8_t(len));
        out.insert(out.end(), data.begin() + long(at), data.begin() + long(at + len));
        out.push_back(Xor(data.data() + at, len));
        out.push_back(kPacketEnd);
    }
    return out;
}

// Rows of (width + 7) / 8 bytes, most significant bit leftmost.
MonoImage RasterImage(const std::vector<uint8_t>& bytes, size_t at, int width, int height) {
    MonoImage img;
    if (width <= 0 || height <= 0) return img;
    img.width = width;
    img.height = height;
    img.dots.assign(size_t(width) * size_t(height), 0);
    const size_t rowBytes = (size_t(width) + 7) / 8;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t i = at + size_t(y) * rowBytes + size_t(x) / 8;
            if (i < bytes.size() && (bytes[i] & (0x80 >> (x % 8)))) img.dots[size_t(y) * size_t(width) + size_t(x)] = 1;
        }
    return img;
}

// Columns of `colBytes` bytes each, top dot in the most significant bit.
MonoImage ColumnImage(const std::vector<uint8_t>& bytes, int columns, int colBytes) {
    MonoImage img;
    if (columns <= 0 || colBytes <= 0) return img;
    img.width = columns;
    img.height = colBytes * 8;
    img.dots.assign(size_t(img.width) * size_t(img.height), 0);
    for (int x = 0; x < columns; ++x)
        for (int y = 0; y < img.height; ++y) {
            const size_t i = size_t(x) * size_t(colBytes) + size_t(y) / 8;
            if (i < bytes.size() && (bytes[i] & (0x80 >> (y % 8)))) img.dots[size_t(y) * size_t(img.width) + size_t(x)] = 1;
        }
    return img;
}

const char* PaperName(PaperLevel p) {
    switch (p) {
        case PaperLevel::Normal: return "normal";
        case PaperLevel::NearEnd: return "near-end";
        case PaperLevel::Empty: return "empty";
    }
    return "?";
}

}  // namespace

PrinterIdentity PrinterIdentity::ForModel(const std::string& name) {
    PrinterIdentity id;
    id.modelName = name;
    if (name == "TM-T88IV") return id;  // the defaults describe it
    // The common 80 mm geometry: 0.125 mm dots, 576 printable.
    id.dotMm = 0.125;
    id.unitMm = 0.0625;
    id.printWidthDots = 576;
    if (name.rfind("RX4270", 0) == 0) {
        id.framed = true;
        id.cutter = false;
        id.multiByte = true;
        id.firmware = "1.52";
        id.modelId = 0x42;
    }
    return id;
}

std::string TraceText(const Command& cmd) {
    std::string out = cmd.code;
    if (cmd.key == kTextKey) {
        out += " \"" + std::string(cmd.data.begin(), cmd.data.end()) + "\"";
    } else {
        for (int a : cmd.args) out += " " + std::to_string(a);
        if (!cmd.data.empty()) out += " [" + std::to_string(cmd.data.size()) + "]";
    }
    if (cmd.unknown) out += " ?";
    if (cmd.truncated) out += " (truncated)";
    return out;
}

VirtualPrinter::VirtualPrinter(PrinterIdentity identity)
    : identity_(std::move(identity)), paper_(identity_), notify_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    decoder_.set_rasterNvDefinitions(identity_.framed);
    ResetStateLocked();
}

VirtualPrinter::~VirtualPrinter() = default;

// ---------------------------------------------------------------- link side

void VirtualPrinter::Receive(const uint8_t* data, size_t size) {
    std::lock_guard lock(mutex_);
    if (identity_.framed)
        ReceiveFramedLocked(data, size);
    else
        DecodeLocked(data, size);
}

void VirtualPrinter::ReceiveFramedLocked(const uint8_t* data, size_t size) {
    size_t rawStart = 0;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        if (!inPacket_) {
            if (b != kPacketStart) continue;
            DecodeLocked(data + rawStart, i - rawStart);  // raw bytes before this one
            rawStart = i + 1;
            // AA opens a packet between commands; inside a raw command it is data.
            if (decoder_.AtBoundary() || lastInputFramed_) {
                inPacket_ = true;
                packet_.assign(1, b);
            } else {
                DecodeLocked(&b, 1);
            }
            continue;
        }
        rawStart = i + 1;
        packet_.push_back(b);
        if (packet_.size() == 2 && (b == 0 || b > kMaxPacketData)) {
            // Not a packet after all: take the bytes as plain data.
            inPacket_ = false;
            lastInputFramed_ = false;
            NoteLocked("bad_packet_length", std::to_string(b));
            std::vector<uint8_t> bytes = packet_;
            DecodeLocked(bytes.data(), bytes.size());
            continue;
        }
        if (packet_.size() < 2 || packet_.size() < size_t(packet_[1]) + 4) continue;
        inPacket_ = false;
        const size_t len = packet_[1];
        const bool sumOk = Xor(packet_.data() + 2, len) == packet_[len + 2];
        if (!sumOk || packet_[len + 3] != kPacketEnd) {
            NoteLocked("bad_packet", sumOk ? "no end byte" : "checksum");
            ReplyLocked(Frame({kNak}));
            continue;
        }
        HandlePacketLocked(std::vector<uint8_t>(packet_.begin() + 2, packet_.begin() + 2 + long(len)));
    }
    if (!inPacket_ && rawStart < size) DecodeLocked(data + rawStart, size - rawStart);
}

void VirtualPrinter::HandlePacketLocked(const std::vector<uint8_t>& payload) {
    lastInputFramed_ = true;
    // A real-time status request is answered with the bare status byte, as the host reads
    // one byte and decodes it like a DLE EOT answer; no acknowledgement follows it.
    if (payload.size() == 3 && payload[0] == DLE && payload[1] == 0x04) {
        decoder_.Feed(payload.data(), payload.size(), [this](const Command& c) { HandleCommandLocked(c); });
        return;
    }
    std::vector<uint8_t> answers;
    capture_ = &answers;
    decoder_.Feed(payload.data(), payload.size(), [this](const Command& c) { HandleCommandLocked(c); });
    capture_ = nullptr;
    if (conditions_.mute) return;
    // The host reads until it sees the end byte: answers travel framed, else an ACK.
    ReplyLocked(Frame(answers.empty() ? std::vector<uint8_t>{kAck} : answers));
}

void VirtualPrinter::DecodeLocked(const uint8_t* data, size_t size) {
    if (size == 0) return;
    lastInputFramed_ = false;
    decoder_.Feed(data, size, [this](const Command& c) { HandleCommandLocked(c); });
}

void VirtualPrinter::EndOfStream() {
    std::lock_guard lock(mutex_);
    if (inPacket_) {
        NoteLocked("bad_packet", "stream ended inside a packet");
        inPacket_ = false;
    }
    decoder_.Finish([this](const Command& c) { HandleCommandLocked(c); });
    lastInputFramed_ = false;
}

size_t VirtualPrinter::TakeReplies(uint8_t* out, size_t max) {
    std::lock_guard lock(mutex_);
    const size_t n = std::min(max, replies_.size());
    std::copy_n(replies_.begin(), n, out);
    replies_.erase(replies_.begin(), replies_.begin() + long(n));
    return n;
}

std::vector<uint8_t> VirtualPrinter::TakeAllReplies() {
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> out(replies_.begin(), replies_.end());
    replies_.clear();
    return out;
}

void VirtualPrinter::ClearNotify() {
    uint64_t value;
    while (::read(notify_.get(), &value, sizeof value) > 0) {
    }
}

void VirtualPrinter::WakeLocked() {
    const uint64_t one = 1;
    // A full counter still reads as readable, so a failed write loses nothing.
    [[maybe_unused]] auto ignored = ::write(notify_.get(), &one, sizeof one);
}

uint64_t VirtualPrinter::ConnectionGeneration() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

uint32_t VirtualPrinter::BytesPerSecond() const {
    std::lock_guard lock(mutex_);
    return conditions_.bytesPerSecond;
}

bool VirtualPrinter::AcceptsInput() const {
    std::lock_guard lock(mutex_);
    return !(conditions_.Offline() && heldBytes_ >= receiveBufferBytes_);
}

void VirtualPrinter::SetReceiveBufferBytes(size_t bytes) {
    std::lock_guard lock(mutex_);
    receiveBufferBytes_ = bytes;
}

void VirtualPrinter::Tick(Clock::time_point now) {
    std::lock_guard lock(mutex_);
    if (drawerClosing_ && now >= drawerCloseAt_) {
        drawerClosing_ = false;
        const PrinterConditions before = conditions_;
        conditions_.drawerOpen = false;
        NoteLocked("drawer", "closed by itself");
        ConditionsChangedLocked(before);
    }
}

// ---------------------------------------------------------------- commands

void VirtualPrinter::HandleCommandLocked(const Command& cmd) {
    log_.Write(cmd);
    if (trace_.size() < kMaxTrace) trace_.push_back(TraceText(cmd));
    if (cmd.unknown || cmd.truncated) return;
    if (conditions_.Offline() && !AnswersWhileOffline(cmd)) {
        held_.push_back(cmd);  // a printer offline keeps receiving; it prints once back online
        heldBytes_ += cmd.raw.size();
        return;
    }
    ApplyLocked(cmd);
}

bool VirtualPrinter::AnswersWhileOffline(const Command& cmd) const {
    const uint8_t lead = uint8_t(cmd.key >> 16), sel = uint8_t(cmd.key >> 8);
    if (cmd.key == kTextKey) return false;
    if (lead == DLE) return true;
    return lead == GS && (sel == 'r' || sel == 'I' || sel == 'a');
}

void VirtualPrinter::ApplyLocked(const Command& cmd) {
    const uint8_t lead = uint8_t(cmd.key >> 16);
    // A deselected printer ignores everything but the command that selects it again.
    if (!state_.peripheralEnabled && cmd.key != Key(ESC, '=') && lead != DLE) return;
    if (cmd.key == kTextKey) {
        state_.textBytes += cmd.data.size();
        paper_.Text(cmd.data, state_);
        return;
    }
    switch (lead) {
        case ESC: return ApplyEscLocked(cmd);
        case GS: return ApplyGsLocked(cmd);
        case FS: return ApplyFsLocked(cmd);
        case DLE: {
            const uint8_t sel = uint8_t(cmd.key >> 8);
            if (sel == 0x04) {
                const int n = cmd.args[0];
                if (n >= 1 && n <= 4) ReplyLocked({RealTimeStatusByte(n, conditions_)});
            } else if (sel == 0x14 && cmd.args.size() >= 2 && cmd.args[0] == 1) {
                PulseDrawerLocked();
            } else if (sel == 0x14 && !cmd.args.empty() && cmd.args[0] == 8) {
                paper_.Reset();
            }
            return;
        }
    }
    switch (cmd.key) {
        case Key(0x0A): paper_.PrintLine(state_); break;
        case Key(0x09): paper_.Tab(state_); break;
        case Key(0x0C):
            if (state_.pageMode) {
                paper_.PrintPage(state_);
                paper_.LeavePageMode(state_);
                state_.pageMode = false;
            } else {
                paper_.PrintLine(state_);
            }
            break;
        case Key(0x18):
            if (state_.pageMode) paper_.ClearPage();
            break;
        default: break;
    }
}

void VirtualPrinter::ApplyEscLocked(const Command& cmd) {
    const auto& a = cmd.args;
    const int n = a.empty() ? 0 : a[0];
    PrinterState& st = state_;
    switch (uint8_t(cmd.key >> 8)) {
        case 0x0C:
            if (st.pageMode) paper_.PrintPage(st);
            break;
        case ' ': st.charSpacing = n; break;
        case '!':
            st.font = n & 0x01;
            st.emphasized = n & 0x08;
            st.heightMul = (n & 0x10) ? 2 : 1;
            st.widthMul = (n & 0x20) ? 2 : 1;
            st.underline = (n & 0x80) ? 1 : 0;
            break;
        case '$': paper_.SetColumn(n); break;
        case '\\': paper_.SetColumn(paper_.Column() + int16_t(uint16_t(n))); break;
        case '-':
            if (Low2(n) <= 2) st.underline = Low2(n);
            break;
        case '2': st.lineSpacing = -1; break;
        case '3': st.lineSpacing = n; break;
        case '=': st.peripheralEnabled = Flag(n); break;
        case '@':
            paper_.Reset();
            ResetStateLocked();
            break;
        case 'D': st.tabStops = a; break;
        case 'E': st.emphasized = Flag(n); break;
        case 'G': st.doubleStrike = Flag(n); break;
        case 'J': paper_.PrintLine(st, n); break;
        case 'd': paper_.PrintLine(st, n * paper_.LineSpacingUnits(st)); break;
        case 'L':
            if (!st.pageMode) {
                st.pageMode = true;
                paper_.EnterPageMode(st);
            }
            break;
        case 'S':
            if (st.pageMode) {
                st.pageMode = false;
                paper_.LeavePageMode(st);
            }
            break;
        case 'M':
            if (Low2(n) <= 1) st.font = Low2(n);
            break;
        case 'R': st.intlSet = n; break;
        case 'T':
            if (Low2(n) <= 3) {
                st.pageDirection = Low2(n);
                // The page is laid out along the print direction: start it again that way.
                if (st.pageMode) paper_.EnterPageMode(st);
            }
            break;
        case 'V': st.rotate90 = Flag(n); break;
        case 'W':
            st.pageArea = {a[0], a[1], a[2], a[3]};
            if (st.pageMode) paper_.EnterPageMode(st);
            break;
        case 'a':
            if (Low2(n) <= 2) st.justification = Low2(n);
            break;
        case 'i':
        case 'm':
            if (identity_.cutter) {
                paper_.Cut(uint8_t(cmd.key >> 8) == 'm');
                ++(uint8_t(cmd.key >> 8) == 'm' ? st.partialCuts : st.fullCuts);
            }
            break;
        case 'p':
            if (Low2(n) <= 1) PulseDrawerLocked();
            break;
        case 't': st.codeTable = n; break;
        case '{': st.upsideDown = Flag(n); break;
        case '*': {
            const int m = a[0];
            const bool tall = m == 32 || m == 33;
            MonoImage img = ColumnImage(cmd.data, a[1], tall ? 3 : 1);
            // Single density doubles the dots across; 8-dot modes triple them down.
            paper_.InlineImage(img, st, (m == 0 || m == 32) ? 2 : 1, tall ? 1 : 3);
            break;
        }
        case '(':
            if (uint8_t(cmd.key) == 'A') ++st.buzzerCount;
            break;
        default: break;
    }
}

void VirtualPrinter::ApplyGsLocked(const Command& cmd) {
    const auto& a = cmd.args;
    const int n = a.empty() ? 0 : a[0];
    PrinterState& st = state_;
    switch (uint8_t(cmd.key >> 8)) {
        case '!':
            st.widthMul = ((n >> 4) & 0x0F) + 1;
            st.heightMul = (n & 0x0F) + 1;
            if (st.widthMul > 8 || st.heightMul > 8) st.widthMul = st.heightMul = 1;  // refused
            break;
        case '$': paper_.SetPageY(n); break;
        case '\\': paper_.MovePageY(int16_t(uint16_t(n))); break;
        case 'B': st.reverse = Flag(n); break;
        case 'H':
            if (Low2(n) <= 3) st.barcode.hriPosition = Low2(n);
            break;
        case 'I': AnswerPrinterIdLocked(n); break;
        case 'L': st.leftMargin = n; break;
        case 'W': st.printAreaWidth = n; break;
        case 'a':
            st.asbMask = n;
            if (n) SendAutoStatusLocked();  // the first block follows at once
            break;
        case 'b': st.smoothing = Flag(n); break;
        case 'f':
            if (Low2(n) <= 1) st.barcode.hriFont = Low2(n);
            break;
        case 'h':
            if (n >= 1) st.barcode.height = n;
            break;
        case 'w':
            if (n >= 1 && n <= 6) st.barcode.moduleWidth = n;
            break;
        case 'r':
            if (n == 1 || n == 49) {
                const PaperLevel p = conditions_.paper;
                ReplyLocked({uint8_t((p != PaperLevel::Normal ? 0x03 : 0) | (p == PaperLevel::Empty ? 0x0C : 0))});
            } else if (n == 2 || n == 50) {
                ReplyLocked({uint8_t(conditions_.DrawerLevel() ? 0x01 : 0x00)});
            }
            break;
        case 'g':
            if (n == 0x32) ReplyLocked({'_', '0', 0});  // counters start at zero here
            break;
        case 'V':
            if (identity_.cutter) {
                const bool partial = cmd.name == "cut_partial";
                if (a.size() > 1) paper_.PrintLine(st, a[1]);
                paper_.Cut(partial);
                ++(partial ? st.partialCuts : st.fullCuts);
            }
            break;
        case 'k': {
            std::vector<uint8_t> data = cmd.data;
            if (!paper_.Barcode(n, data, st)) NoteLocked("barcode_not_printed", std::to_string(n));
            break;
        }
        case '*': {
            const int x = a[0], y = a[1];
            // x × 8 columns of y bytes each.
            st.downloadedImage = ColumnImage(cmd.data, x * 8, y);
            break;
        }
        case '/':
            if (!st.downloadedImage.empty() && Low2(n) <= 3)
                paper_.BlockImage(st.downloadedImage, st, (Low2(n) & 1) ? 2 : 1, (Low2(n) & 2) ? 2 : 1);
            break;
        case 'v': {
            const int m = Low2(a[0]);
            paper_.BlockImage(RasterImage(cmd.data, 0, a[1] * 8, a[2]), st, (m & 1) ? 2 : 1, (m & 2) ? 2 : 1);
            break;
        }
        case '(':
            if (uint8_t(cmd.key) == 'k') ApplySymbolLocked(cmd);
            if (uint8_t(cmd.key) == 'L') ApplyGraphicsLocked(cmd);
            break;
        case '8': ApplyGraphicsLocked(cmd); break;
        default: break;
    }
}

void VirtualPrinter::ApplyFsLocked(const Command& cmd) {
    const auto& a = cmd.args;
    switch (uint8_t(cmd.key >> 8)) {
        case '&': state_.kanji = true; break;
        case '.': state_.kanji = false; break;
        case 'p': {
            auto it = state_.nvImages.find(a[0]);
            if (it != state_.nvImages.end())
                paper_.BlockImage(it->second, state_, (a[1] & 1) ? 2 : 1, (a[1] & 2) ? 2 : 1);
            else
                NoteLocked("nv_image_missing", std::to_string(a[0]));
            break;
        }
        case 'q': {
            size_t at = 0;
            for (int i = 0; i < a[0]; ++i) {
                const int x = a[1 + 2 * i], y = a[2 + 2 * i];
                MonoImage img;
                size_t len;
                if (identity_.framed) {
                    img = RasterImage(cmd.data, at, x, y);
                    len = size_t(y) * ((size_t(x) + 7) / 8);
                } else {
                    len = size_t(x) * size_t(y) * 8;
                    img = ColumnImage(std::vector<uint8_t>(cmd.data.begin() + long(at), cmd.data.begin() + long(at + len)), x * 8, y);
                }
                state_.nvImages[i + 1] = std::move(img);
                at += len;
            }
            break;
        }
        default: break;
    }
}

void VirtualPrinter::ApplyGraphicsLocked(const Command& cmd) {
    if (cmd.args.size() < 2) return;
    const int fn = cmd.args[1];
    const auto& d = cmd.data;
    auto word = [&d](size_t i) { return i + 1 < d.size() ? int(d[i] | (d[i + 1] << 8)) : 0; };
    switch (fn) {
        case 112:  // a bx by c xL xH yL yH data
            if (d.size() >= 8) {
                state_.bufferGraphics = RasterImage(d, 8, word(4), word(6));
                bufferScaleX_ = d[1] == 2 ? 2 : 1;
                bufferScaleY_ = d[2] == 2 ? 2 : 1;
            }
            break;
        case 2:
        case 50:
            if (!state_.bufferGraphics.empty()) {
                paper_.BlockImage(state_.bufferGraphics, state_, bufferScaleX_, bufferScaleY_);
                state_.bufferGraphics = MonoImage{};
            }
            break;
        case 67:  // a kc1 kc2 b xL xH yL yH c data
            if (d.size() >= 9) state_.nvImages[(d[1] << 8) | d[2]] = RasterImage(d, 9, word(4), word(6));
            break;
        case 69:  // kc1 kc2 x y
            if (d.size() >= 4) {
                auto it = state_.nvImages.find((d[0] << 8) | d[1]);
                if (it != state_.nvImages.end())
                    paper_.BlockImage(it->second, state_, d[2] == 2 ? 2 : 1, d[3] == 2 ? 2 : 1);
                else
                    NoteLocked("nv_image_missing", std::string{char(d[0]), char(d[1])});
            }
            break;
        case 65: state_.nvImages.clear(); break;
        case 66:
            if (d.size() >= 2) state_.nvImages.erase((d[0] << 8) | d[1]);
            break;
        default: break;
    }
}

void VirtualPrinter::ApplySymbolLocked(const Command& cmd) {
    if (cmd.args.size() < 2) return;
    const int cn = cmd.args[0], fn = cmd.args[1];
    const auto& d = cmd.data;
    const int v = d.empty() ? 0 : d[0];
    auto stored = [&d]() { return std::vector<uint8_t>(d.size() > 1 ? d.begin() + 1 : d.end(), d.end()); };
    if (cn == 48) {
        Pdf417Settings& p = state_.pdf417;
        switch (fn) {
            case 65: p.columns = v; break;
            case 66: p.rows = v; break;
            case 67: p.moduleWidth = v; break;
            case 68: p.rowHeight = v; break;
            case 69:
                if (d.size() >= 2) {
                    p.errorMode = d[0];
                    p.errorValue = d[1];
                }
                break;
            case 70: p.truncated = v == 1; break;
            case 80: p.data = stored(); break;
            case 81:
                if (!paper_.Pdf417(state_)) NoteLocked("pdf417_not_printed", "");
                break;
        }
    } else if (cn == 49) {
        QrSettings& q = state_.qr;
        switch (fn) {
            case 65: q.model = v; break;
            case 67: q.moduleSize = v; break;
            case 69: q.errorLevel = v; break;
            case 80: q.data = stored(); break;
            case 81:
                if (!paper_.Qr(state_)) NoteLocked("qr_not_printed", "");
                break;
        }
    }
}

// ---------------------------------------------------------------- replies

uint8_t VirtualPrinter::RealTimeStatusByte(int n, const PrinterConditions& c) {
    uint8_t r = 0x12;  // bits 1 and 4 are always set in a real-time answer
    switch (n) {
        case 1:
            if (c.DrawerLevel()) r |= 0x04;
            if (c.Offline()) r |= 0x08;
            break;
        case 2:
            if (c.coverOpen) r |= 0x04;
            if (c.paper == PaperLevel::Empty) r |= 0x20;  // printing stopped by paper end
            break;
        case 4:
            // The near-end sensor also sees no paper when the roll has run out.
            if (c.paper != PaperLevel::Normal) r |= 0x0C;
            if (c.paper == PaperLevel::Empty) r |= 0x60;
            break;
        default: break;
    }
    return r;
}

std::vector<uint8_t> VirtualPrinter::AutoStatusBlock(const PrinterConditions& c) {
    uint8_t b0 = 0x10;
    if (c.DrawerLevel()) b0 |= 0x04;
    if (c.Offline()) b0 |= 0x08;
    if (c.coverOpen) b0 |= 0x20;
    uint8_t b2 = 0;
    if (c.paper != PaperLevel::Normal) b2 |= 0x03;
    if (c.paper == PaperLevel::Empty) b2 |= 0x0C;
    return {b0, 0x00, b2, 0x00};
}

void VirtualPrinter::ReplyLocked(const std::vector<uint8_t>& bytes) {
    if (conditions_.mute || bytes.empty()) return;
    std::string hex;
    for (uint8_t b : bytes) {
        static const char kDigits[] = "0123456789ABCDEF";
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    log_.Note(capture_ ? "reply_in_packet" : "reply", hex);  // the file log only: traces stay commands
    if (capture_) {
        capture_->insert(capture_->end(), bytes.begin(), bytes.end());
        return;
    }
    replies_.insert(replies_.end(), bytes.begin(), bytes.end());
    WakeLocked();
}

void VirtualPrinter::AnswerPrinterIdLocked(int n) {
    auto text = [this](const std::string& s) {
        // "_" text NUL, sized up front (growing from one byte trips a false g++ bounds warning).
        std::vector<uint8_t> out(s.size() + 2, 0);
        out[0] = '_';
        std::copy(s.begin(), s.end(), out.begin() + 1);
        ReplyLocked(out);
    };
    switch (n) {
        case 1: case 49: ReplyLocked({identity_.modelId}); break;
        case 2: case 50:
            // Type ID: bit 0 two-byte characters, bit 1 autocutter; bit 4 is always 0.
            ReplyLocked({uint8_t((identity_.multiByte ? 0x01 : 0) | (identity_.cutter ? 0x02 : 0))});
            break;
        case 3: case 51: ReplyLocked({identity_.romVersionId}); break;
        case 65: text(identity_.firmware); break;
        case 66: text(identity_.maker); break;
        case 67: text(identity_.modelName); break;
        case 68: text(identity_.serial); break;
        case 69: text(identity_.multiByte ? "KANJI" : "ANK"); break;
        default: break;
    }
}

void VirtualPrinter::SendAutoStatusLocked() {
    if (state_.asbMask == 0) return;
    ReplyLocked(AutoStatusBlock(conditions_));
}

void VirtualPrinter::ConditionsChangedLocked(const PrinterConditions& before) {
    int changed = 0;
    if (before.DrawerLevel() != conditions_.DrawerLevel()) changed |= kAsbDrawer;
    if (before.Offline() != conditions_.Offline() || before.coverOpen != conditions_.coverOpen)
        changed |= kAsbOnline;
    if (before.paper != conditions_.paper) changed |= kAsbPaper;
    if (changed & state_.asbMask) SendAutoStatusLocked();
    if (before.Offline() && !conditions_.Offline() && !held_.empty()) {
        std::vector<Command> held;
        held.swap(held_);
        heldBytes_ = 0;
        for (const Command& c : held) ApplyLocked(c);
    }
}

void VirtualPrinter::PulseDrawerLocked() {
    ++state_.drawerPulses;
    if (conditions_.drawerAutoCloseMs >= 0) {
        drawerClosing_ = true;
        drawerCloseAt_ = Clock::now() + std::chrono::milliseconds(conditions_.drawerAutoCloseMs);
    }
    if (conditions_.drawerOpen) return;
    const PrinterConditions before = conditions_;
    conditions_.drawerOpen = true;
    ConditionsChangedLocked(before);
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
}

void VirtualPrinter::NoteLocked(const std::string& event, const std::string& detail) {
    log_.Note(event, detail);
    if (trace_.size() < kMaxTrace) trace_.push_back("note " + event + (detail.empty() ? "" : " " + detail));
}

// ---------------------------------------------------------------- control side

template <typename Change>
void VirtualPrinter::ChangeConditions(Change change) {
    std::lock_guard lock(mutex_);
    const PrinterConditions before = conditions_;
    change();
    ConditionsChangedLocked(before);
}

void VirtualPrinter::SetCoverOpen(bool open) {
    ChangeConditions([&] { conditions_.coverOpen = open; });
}

void VirtualPrinter::SetPaper(PaperLevel level) {
    ChangeConditions([&] { conditions_.paper = level; });
}

void VirtualPrinter::SetDrawerOpen(bool open) {
    ChangeConditions([&] {
        conditions_.drawerOpen = open;
        drawerClosing_ = false;  // a drawer moved by hand forgets a pending close
    });
}

void VirtualPrinter::SetDrawerOpenLevel(bool high) {
    ChangeConditions([&] { conditions_.drawerOpenLevel = high; });
}

void VirtualPrinter::SetOffline(bool offline) {
    ChangeConditions([&] { conditions_.offlineSwitch = offline; });
}

void VirtualPrinter::SetDrawerAutoClose(int ms) {
    std::lock_guard lock(mutex_);
    conditions_.drawerAutoCloseMs = ms;
}

void VirtualPrinter::SetMute(bool mute) {
    std::lock_guard lock(mutex_);
    conditions_.mute = mute;
}

void VirtualPrinter::SetRate(uint32_t bytesPerSecond) {
    std::lock_guard lock(mutex_);
    conditions_.bytesPerSecond = bytesPerSecond;
}

void VirtualPrinter::Drop() {
    std::lock_guard lock(mutex_);
    ++generation_;
    NoteLocked("drop", "");
    WakeLocked();
}

void VirtualPrinter::PowerCycle() {
    std::lock_guard lock(mutex_);
    NoteLocked("power_cycle", "");
    decoder_.Reset();
    inPacket_ = false;
    lastInputFramed_ = false;
    held_.clear();
    heldBytes_ = 0;
    replies_.clear();
    drawerClosing_ = false;
    paper_.Reset();
    state_.asbMask = 0;
    ResetStateLocked();
    ++generation_;
    WakeLocked();
}

bool VirtualPrinter::OpenLog(const std::string& path) {
    std::lock_guard lock(mutex_);
    return log_.Open(path);
}

PrinterIdentity VirtualPrinter::Identity() const { return identity_; }

PrinterConditions VirtualPrinter::Conditions() const {
    std::lock_guard lock(mutex_);
    return conditions_;
}

PrinterState VirtualPrinter::State() const {
    std::lock_guard lock(mutex_);
    return state_;
}

std::vector<std::string> VirtualPrinter::Trace() const {
    std::lock_guard lock(mutex_);
    return trace_;
}

std::string VirtualPrinter::StatusText() const {
    std::lock_guard lock(mutex_);
    const PrinterConditions& c = conditions_;
    std::string s = "model=" + identity_.modelName;
    s += std::string(" cover=") + (c.coverOpen ? "open" : "closed");
    s += std::string(" paper=") + PaperName(c.paper);
    s += std::string(" drawer=") + (c.drawerOpen ? "open" : "closed");
    s += std::string(" offline=") + (c.Offline() ? "on" : "off");
    s += std::string(" mute=") + (c.mute ? "on" : "off");
    s += " rate=" + std::to_string(c.bytesPerSecond);
    s += " asb=" + std::to_string(state_.asbMask);
    s += std::string(" page_mode=") + (state_.pageMode ? "on" : "off");
    s += " cuts=" + std::to_string(state_.fullCuts + state_.partialCuts);
    s += " pulses=" + std::to_string(state_.drawerPulses);
    s += " held=" + std::to_string(held_.size());
    return s;
}

bool VirtualPrinter::WritePng(const std::string& path) const {
    std::lock_guard lock(mutex_);
    return paper_.WritePng(path);
}

Canvas VirtualPrinter::Picture() const {
    std::lock_guard lock(mutex_);
    return paper_.Picture();
}

}  // namespace QVO::Sim
