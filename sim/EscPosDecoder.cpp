// Incremental decoder of the ESC/POS byte stream: where each command ends, and its arguments.
#include "sim/EscPosDecoder.h"

#include "sim/EscPosCodes.h"
#include "sim/EscPosTables.h"

#include <cstring>

namespace QVO::Sim {

namespace {

using namespace EscPos;
using namespace EscPosTables;

constexpr size_t kMaxTextRun = 4096;
constexpr size_t kMaxTabStops = 32;      // a real list has at most 32 stops
constexpr size_t kMaxBarcodeText = 255;  // GS k data without its NUL
constexpr size_t kMaxCurvedText = 4096;  // GS " text without its NUL
// Every parser reads one command from `in`, where `have` bytes are available, and answers
// with the bytes it used, or one of these.
constexpr size_t kNeedMore = 0;           // wait for more bytes
constexpr size_t kImpossible = SIZE_MAX;  // no real command is that long

unsigned Word(const uint8_t* in) { return in[0] | (unsigned(in[1]) << 8); }

// Reads a fixed form after `head` introducer bytes.
size_t ParseFixed(const FixedForm& form, const uint8_t* in, size_t have, size_t head, Command& out) {
    size_t need = head;
    for (const char* c = form.layout; *c; ++c) need += (*c == 'w') ? 2 : 1;
    if (have < need) return kNeedMore;
    size_t at = head;
    for (const char* c = form.layout; *c; ++c) {
        if (*c == 'w') {
            out.args.push_back(int(Word(in + at)));
            at += 2;
        } else {
            out.args.push_back(in[at++]);
        }
    }
    out.op = form.op;
    return need;
}

// Payload of `len` bytes starting at `at`.
size_t TakePayload(const uint8_t* in, size_t have, size_t at, size_t len, Command& out) {
    if (len > EscPosDecoder::kMaxPayload) return kImpossible;
    if (have < at + len) return kNeedMore;
    out.data.assign(in + at, in + at + len);
    return at + len;
}

// Data ended by a NUL from `at` on, at most `maxLen` bytes before it.
size_t TakeNulEnded(const uint8_t* in, size_t have, size_t at, size_t maxLen, Command& out) {
    const void* nul = std::memchr(in + at, 0, have - at);
    if (!nul) return have - at > maxLen ? kImpossible : kNeedMore;
    const size_t end = size_t(static_cast<const uint8_t*>(nul) - in);
    out.data.assign(in + at, in + end);
    return end + 1;
}

// The first `count` payload bytes are selectors: they move to the arguments.
void LeadBytesToArgs(Command& out, size_t count) {
    if (count > out.data.size()) count = out.data.size();
    for (size_t i = 0; i < count; ++i) out.args.push_back(out.data[i]);
    out.data.erase(out.data.begin(), out.data.begin() + long(count));
}

int ArgOr(const Command& c, size_t i, int fallback) { return c.args.size() > i ? c.args[i] : fallback; }

// GS ( x pL pH body: args are the leading function bytes, data the rest of the body.
size_t ParseGsParen(const uint8_t* in, size_t have, Command& out) {
    if (have < 5) return kNeedMore;
    const uint8_t sel = in[2];
    const size_t used = TakePayload(in, have, 5, Word(in + 3), out);
    if (used == kNeedMore || used == kImpossible) return used;
    switch (sel) {
        case 'A':  // test print: the whole body is parameters
            LeadBytesToArgs(out, out.data.size());
            out.op = Op::TestPrint;
            break;
        case 'k':  // cn fn
            LeadBytesToArgs(out, 2);
            out.op = SymbolOp(ArgOr(out, 0, -1), ArgOr(out, 1, -1));
            break;
        case 'L':  // m fn
            LeadBytesToArgs(out, 2);
            out.op = GraphicsOp(ArgOr(out, 1, -1));
            break;
        default:  // fn
            LeadBytesToArgs(out, 1);
            out.op = GsParenOp(sel);
            break;
    }
    return used;
}

// GS 8 L p1 p2 p3 p4 m fn data: the 32-bit form of GS ( L.
size_t ParseGs8L(const uint8_t* in, size_t have, Command& out) {
    if (have < 7) return kNeedMore;
    const size_t len = in[3] | (size_t(in[4]) << 8) | (size_t(in[5]) << 16) | (size_t(in[6]) << 24);
    const size_t used = TakePayload(in, have, 7, len, out);
    if (used == kNeedMore || used == kImpossible) return used;
    LeadBytesToArgs(out, 2);
    out.op = GraphicsOp(ArgOr(out, 1, -1));
    return used;
}

// GS k m: m 0..6 takes NUL-terminated data, m 65.. a length byte.
size_t ParseBarcode(const uint8_t* in, size_t have, Command& out) {
    constexpr uint8_t kLastNulEndedForm = 6;
    if (have < 3) return kNeedMore;
    const uint8_t m = in[2];
    out.args.push_back(m);
    out.op = Op::Barcode;
    if (m <= kLastNulEndedForm) return TakeNulEnded(in, have, 3, kMaxBarcodeText, out);
    if (have < 4) return kNeedMore;
    return TakePayload(in, have, 4, in[3], out);
}

size_t ParseBitImage(const uint8_t* in, size_t have, Command& out) {
    if (have < 5) return kNeedMore;
    const uint8_t m = in[2];
    const size_t cols = Word(in + 3);
    out.args = {m, int(cols)};
    out.op = Op::BitImage;
    const bool tall = m == BitImageMode::kSingle24 || m == BitImageMode::kDouble24;
    return TakePayload(in, have, 5, cols * (tall ? 3 : 1), out);
}

size_t ParseRaster(const uint8_t* in, size_t have, Command& out) {
    if (have < 8) return kNeedMore;
    const size_t xBytes = Word(in + 4), rows = Word(in + 6);
    out.args = {in[3], int(xBytes), int(rows)};
    out.op = Op::RasterImage;
    return TakePayload(in, have, 8, xBytes * rows, out);
}

size_t ParseDownloadedImage(const uint8_t* in, size_t have, Command& out) {
    if (have < 4) return kNeedMore;
    out.args = {in[2], in[3]};
    out.op = Op::DefineDownloaded;
    return TakePayload(in, have, 4, size_t(in[2]) * in[3] * 8, out);
}

size_t ParseTabs(const uint8_t* in, size_t have, Command& out) {
    out.op = Op::TabStops;
    for (size_t i = 2; i < have; ++i) {
        if (in[i] == 0) return i + 1;
        out.args.push_back(in[i]);
        if (out.args.size() > kMaxTabStops) return kImpossible;
    }
    return kNeedMore;
}

// ESC ( x pL pH body (buzzer, extended mode).
size_t ParseEscParen(const uint8_t* in, size_t have, Command& out) {
    if (have < 5) return kNeedMore;
    const size_t used = TakePayload(in, have, 5, Word(in + 3), out);
    if (used == kNeedMore || used == kImpossible) return used;
    out.op = in[2] == 'A' ? Op::Buzzer : Op::Extended;
    LeadBytesToArgs(out, out.data.size());
    return used;
}

size_t ParseCut(const uint8_t* in, size_t have, Command& out) {
    using namespace CutMode;
    if (have < 3) return kNeedMore;
    const uint8_t m = in[2];
    out.args.push_back(m);
    const bool full =
        m == kFull || m == kFullAscii || m == kFullFeed || m == kFullFeedAtPosition || m == kFullFeedAndReverse;
    out.op = full ? Op::CutFull : Op::CutPartial;
    const bool withFeed = m == kFullFeed || m == kPartialFeed || m == kFullFeedAtPosition ||
                          m == kPartialFeedAtPosition || m == kFullFeedAndReverse || m == kPartialFeedAndReverse;
    if (!withFeed) return 3;
    if (have < 4) return kNeedMore;
    out.args.push_back(in[3]);
    return 4;
}

size_t ParseLineSegments(const uint8_t* in, size_t have, Command& out) {
    constexpr size_t kBytesPerSegment = 4;
    if (have < 3) return kNeedMore;
    out.args.push_back(in[2]);
    out.op = Op::LineSegments;
    return TakePayload(in, have, 3, size_t(in[2]) * kBytesPerSegment, out);
}

size_t ParseCurvedText(const uint8_t* in, size_t have, Command& out) {
    if (have < 5) return kNeedMore;
    out.args = {in[2], int(Word(in + 3))};
    out.op = Op::CurvedText;
    return TakeNulEnded(in, have, 5, kMaxCurvedText, out);
}

// DLE DC4 fn ...: real-time requests with per-function lengths.
size_t ParseDleDc4(const uint8_t* in, size_t have, Command& out) {
    if (have < 3) return kNeedMore;
    const uint8_t fn = in[2];
    switch (fn) {
        case RealTimeFn::kPulse:
            out.op = Op::RealTimePulse;
            if (have < 4) return kNeedMore;
            out.args = {fn, in[3]};
            // The short form (pin byte outside 0/1) ends after that byte.
            if (in[3] > RealTimeFn::kLastPulsePin) return 4;
            if (have < 5) return kNeedMore;
            out.args.push_back(in[4]);
            return 5;
        case RealTimeFn::kPowerOff:
            out.op = Op::RealTimePowerOff;
            if (have < 5) return kNeedMore;
            out.args = {fn, in[3], in[4]};
            return 5;
        case RealTimeFn::kBuzzer:
            out.op = Op::RealTimeBuzzer;
            if (have < 4) return kNeedMore;
            out.args = {fn, in[3]};
            return 4;
        case RealTimeFn::kClearBuffers:
            out.op = Op::RealTimeClearBuffers;
            if (have < 10) return kNeedMore;
            out.args = {fn};
            return 10;
        default:
            // A bare DLE DC4: the next byte belongs to the following command.
            out.op = Op::RealTimeCommand;
            return 2;
    }
}

// A text run up to the next control byte; a run that reaches the end may go on.
size_t ParseText(const uint8_t* in, size_t have, Command& out) {
    size_t i = 0;
    while (i < have && in[i] >= kFirstPrintable && i < kMaxTextRun) ++i;
    if (i == have && i < kMaxTextRun) return kNeedMore;
    out.op = Op::Text;
    out.code = "text";
    out.data.assign(in, in + i);
    return i;
}

// The introducer and selector were read (and a third selector byte, for the three-byte
// forms): the code names them all.
void NameIntroducer(const uint8_t* in, size_t selectors, Command& out) {
    out.code = LeadName(in[0]);
    for (size_t i = 1; i <= selectors; ++i) out.code += " " + SelectorName(in[i]);
}

size_t Unknown(Command& out) {
    out.op = Op::Unknown;
    return 2;
}

size_t ParseEsc(const uint8_t* in, size_t have, Command& out) {
    const uint8_t s = in[1];
    if (s == '*') return ParseBitImage(in, have, out);
    if (s == 'D') return ParseTabs(in, have, out);
    if (s == '(') {
        if (have < 3) return kNeedMore;
        NameIntroducer(in, 2, out);
        return ParseEscParen(in, have, out);
    }
    const FixedForm* form = FindFixedForm(ESC, s);
    return form ? ParseFixed(*form, in, have, 2, out) : Unknown(out);
}

size_t ParseGs(const uint8_t* in, size_t have, Command& out) {
    const uint8_t s = in[1];
    if (s == '(' || s == '8' || s == 'v') {
        if (have < 3) return kNeedMore;
        NameIntroducer(in, 2, out);
        if (s == '(') return ParseGsParen(in, have, out);
        if (s == '8' && in[2] == 'L') return ParseGs8L(in, have, out);
        if (s == 'v' && (in[2] == '0' || in[2] == 0)) return ParseRaster(in, have, out);
        return Unknown(out);
    }
    if (s == 'k') return ParseBarcode(in, have, out);
    if (s == '*') return ParseDownloadedImage(in, have, out);
    if (s == 'V') return ParseCut(in, have, out);
    if (s == '\'') return ParseLineSegments(in, have, out);
    if (s == '"') return ParseCurvedText(in, have, out);
    const FixedForm* form = FindFixedForm(GS, s);
    return form ? ParseFixed(*form, in, have, 2, out) : Unknown(out);
}

size_t ParseDle(const uint8_t* in, size_t have, Command& out) {
    const uint8_t s = in[1];
    if (s == EOT || s == ENQ) {
        if (have < 3) return kNeedMore;
        out.args.push_back(in[2]);
        out.op = s == EOT ? Op::RealTimeStatus : Op::RealTimeRequest;
        return 3;
    }
    if (s == DC4) return ParseDleDc4(in, have, out);
    return Unknown(out);
}

}  // namespace

size_t NvImageBytes(bool raster, size_t x, size_t y) {
    // Raster: x × y dots in rows of whole bytes. Columns: x × 8 columns of y bytes each.
    return raster ? y * ((x + 7) / 8) : x * y * 8;
}

size_t EscPosDecoder::ParseFsQ(const uint8_t* in, size_t have, Command& out) const {
    if (have < 3) return kNeedMore;
    const size_t count = in[2];
    out.args.push_back(int(count));
    out.op = Op::DefineNvImages;
    size_t at = 3;
    for (size_t i = 0; i < count; ++i) {
        if (have < at + 4) return kNeedMore;
        const size_t x = Word(in + at), y = Word(in + at + 2);
        out.args.push_back(int(x));
        out.args.push_back(int(y));
        const size_t len = NvImageBytes(rasterNv_, x, y);
        if (len > kMaxPayload) return kImpossible;
        if (have < at + 4 + len) return kNeedMore;
        out.data.insert(out.data.end(), in + at + 4, in + at + 4 + len);
        at += 4 + len;
    }
    return at;
}

size_t EscPosDecoder::ParseFs(const uint8_t* in, size_t have, Command& out) const {
    const uint8_t s = in[1];
    if (s == 'q') return ParseFsQ(in, have, out);
    const FixedForm* form = FindFixedForm(FS, s);
    return form ? ParseFixed(*form, in, have, 2, out) : Unknown(out);
}

size_t EscPosDecoder::TryParse(const uint8_t* in, size_t have, Command& out) const {
    const uint8_t b = in[0];
    if (b >= kFirstPrintable) return ParseText(in, have, out);
    out.code = SelectorName(b);
    if (b != ESC && b != GS && b != FS && b != DLE) {
        out.op = ControlOp(b);
        return 1;
    }
    if (have < 2) return kNeedMore;
    NameIntroducer(in, 1, out);
    switch (b) {
        case ESC:
            return ParseEsc(in, have, out);
        case GS:
            return ParseGs(in, have, out);
        case FS:
            return ParseFs(in, have, out);
        default:
            return ParseDle(in, have, out);
    }
}

void EscPosDecoder::Feed(const uint8_t* data, size_t size, const Sink& sink) {
    pending_.insert(pending_.end(), data, data + size);
    size_t pos = 0;
    while (pos < pending_.size()) {
        Command cmd;
        size_t used = TryParse(pending_.data() + pos, pending_.size() - pos, cmd);
        if (used == kNeedMore) break;
        if (used == kImpossible) {
            // Report the introducer and resynchronise after it (only introduced commands
            // carry lengths).
            used = 2;
            cmd.op = Op::Oversized;
            cmd.data.clear();
        }
        cmd.offset = offset_ + pos;
        cmd.raw.assign(pending_.begin() + long(pos), pending_.begin() + long(pos + used));
        pos += used;
        sink(cmd);
    }
    pending_.erase(pending_.begin(), pending_.begin() + long(pos));
    offset_ += pos;
}

void EscPosDecoder::Finish(const Sink& sink) {
    if (pending_.empty()) return;
    Command cmd;
    TryParse(pending_.data(), pending_.size(), cmd);
    cmd.offset = offset_;
    cmd.raw = pending_;
    if (pending_[0] >= kFirstPrintable) {
        cmd.op = Op::Text;
        cmd.code = "text";
        cmd.data = pending_;  // text needs no terminator to be whole
    } else {
        cmd.truncated = true;
        cmd.data.clear();
    }
    offset_ += pending_.size();
    pending_.clear();
    sink(cmd);
}

void EscPosDecoder::Reset() { pending_.clear(); }

}  // namespace QVO::Sim
