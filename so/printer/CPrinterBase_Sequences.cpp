// CPrinterBase, the escape sequences: parsing ESC | [*] [!] [number] [lowercase] LETTER and
// turning each recognised sequence into builder commands.
#include <algorithm>
#include <limits>
#include <string_view>

#include "constants/OposConstants.h"
#include "so/printer/CPrinterBase.h"
#include "so/printer/EscapeInterpreter.h"

namespace QVO::Printer {

namespace {
constexpr size_t kIntroducerLength = 2;  // ESC |
constexpr int32_t kMaxStoredBitmap = 20;
constexpr int32_t kFullCut = 100;
constexpr int32_t kFontBNumber = 2;
constexpr double kHundredths = 100.0;

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool IsLower(uint8_t c) { return c >= 'a' && c <= 'z'; }
bool IsUpper(uint8_t c) { return c >= 'A' && c <= 'Z'; }

// A run of decimal digits at `pos`, held at the int range; false when there is none.
bool ReadNumber(std::span<const uint8_t> in, size_t& pos, int32_t& value) {
    const size_t first = pos;
    int64_t v = 0;
    while (pos < in.size() && IsDigit(in[pos])) {
        v = std::min<int64_t>(v * 10 + (in[pos] - '0'), std::numeric_limits<int32_t>::max());
        ++pos;
    }
    value = static_cast<int32_t>(v);
    return pos > first;
}

// The barcode data of ESC|nR: s# h# w# a[-]# t[-]# d<data> e, in exactly this order.
struct BarcodeRequest {
    int32_t symbology = 0, height = 0, width = 0, alignment = 0, textPosition = 0;
    std::span<const uint8_t> data;
};

bool ReadField(std::span<const uint8_t> in, size_t& pos, uint8_t tag, bool signedValue, int32_t& value) {
    if (pos >= in.size() || in[pos] != tag) return false;
    ++pos;
    const bool negative = signedValue && pos < in.size() && in[pos] == '-';
    if (negative) ++pos;
    if (!ReadNumber(in, pos, value)) return false;
    if (negative) value = -value;
    return true;
}

bool ParseBarcode(std::span<const uint8_t> in, BarcodeRequest& r) {
    size_t pos = 0;
    if (!ReadField(in, pos, 's', false, r.symbology) || !ReadField(in, pos, 'h', false, r.height) ||
        !ReadField(in, pos, 'w', false, r.width) || !ReadField(in, pos, 'a', true, r.alignment) ||
        !ReadField(in, pos, 't', true, r.textPosition))
        return false;
    if (pos >= in.size() || in[pos] != 'd' || in.size() < pos + 2 || in.back() != 'e') return false;
    r.data = in.subspan(pos + 1, in.size() - pos - 2);
    return true;
}
}  // namespace

EscapeSequence EscapeInterpreter::Parse(size_t start) const {
    EscapeSequence s;
    s.start = start;
    size_t p = start + kIntroducerLength;
    const auto& in = input_;
    if (p < in.size() && in[p] == '*') s.star = (++p, true);
    if (p < in.size() && in[p] == '!') s.bang = (++p, true);
    // Digits and dots; the value ends at the first dot.
    int32_t value = 0;
    s.hasNumber = ReadNumber(in, p, value);
    while (p < in.size() && (IsDigit(in[p]) || in[p] == '.')) ++p;
    s.dataLength = value;
    s.number = s.star ? 0 : value;
    while (p < in.size() && IsLower(in[p])) s.qualifier.push_back(static_cast<char>(in[p++]));
    if (p < in.size() && IsUpper(in[p])) s.letter = in[p++];
    s.next = p;
    return s;
}

size_t EscapeInterpreter::Execute(const EscapeSequence& seq) {
    size_t end = seq.next;
    bool accepted = false;
    if (seq.letter == 'E' || seq.letter == 'R') {
        const size_t available = input_.size() - seq.next;
        const auto count = static_cast<size_t>(seq.dataLength);
        end = seq.next + std::min(count, available);
        if (count >= 1 && count <= available) {
            const auto data = input_.subspan(seq.next, count);
            if (seq.letter == 'E') {
                e_.PassThroughEscapeData(data);
                accepted = true;
            } else {
                accepted = Barcode(seq, data);
            }
        }
    } else {
        switch (seq.letter) {
            case 'A':
                accepted = Alignment(seq);
                break;
            case 'B':
                accepted = Bitmap(seq);
                break;
            case 'C':
                accepted = Character(seq);
                break;
            case 'F':
                accepted = Feed(seq);
                break;
            case 'L':
                accepted = Logo(seq);
                break;
            case 'N':
                accepted = Normal(seq);
                break;
            case 'P':
                accepted = Cut(seq);
                break;
            case 'T':
                accepted = Font(seq);
                break;
            default:
                break;
        }
    }
    if (accepted) {
        error_ = false;
        return end;
    }
    // Unknown, refused, or no command letter at all (then scanning goes on at that byte).
    CopyAsText(seq.start, end);
    error_ = true;
    if (validate_ && !stop_) stop_ = Opos::OPOS_E_FAILURE;
    return end;
}

// In page mode and sideways printing the letter only places the lines that follow.
bool EscapeInterpreter::Alignment(const EscapeSequence& seq) {
    if (seq.qualifier.size() != 1) return false;
    const auto letter = static_cast<uint8_t>(seq.qualifier[0]);
    if (collecting_) {
        alignment_ = letter;
        return true;
    }
    if (std::string_view("clr").find(seq.qualifier[0]) == std::string_view::npos) return false;
    Align(letter);
    return true;
}

bool EscapeInterpreter::Character(const EscapeSequence& seq) {
    const std::string& q = seq.qualifier;
    const int32_t n = seq.number;
    if (q.empty()) {
        cmd_.SetCharacterSize(line_, (n == 2 || n >= 4) ? 2 : 1, n >= 3 ? 2 : 1);
        hScale_ = (n == 2 || n == 4) ? 2 : 1;
        vScale_ = n >= 3 ? 2 : 1;
        markSize_ = true;
    } else if (q == "b") {
        cmd_.SetEmphasized(line_, !seq.bang);
        if (!seq.bang) markBoldUnderline_ = true;
    } else if (q == "h" || q == "v") {
        return CharacterSize(seq, q == "v");
    } else if (q == "u") {
        return Underline(seq);
    } else if (q == "rv") {
        cmd_.SetReversePrinting(line_, !seq.bang);
        if (!seq.bang) markReverse_ = true;
    } else if (q != "i") {
        return false;
    }
    return true;
}

// A magnification the printer lacks falls back to the nearest it has, and is reported.
bool EscapeInterpreter::CharacterSize(const EscapeSequence& seq, bool height) {
    constexpr int32_t kLargestTracked = 8;  // the printer's largest; bounds the width sums
    const int32_t value = seq.bang ? 1 : seq.number;
    const int32_t tracked = std::clamp(value, 0, kLargestTracked);
    if (height) {
        heightSize_ = value;
        vScale_ = tracked;
    } else {
        widthSize_ = value;
        hScale_ = tracked;
    }
    if (!cmd_.SetCharacterSize(line_, widthSize_, heightSize_)) {
        cmd_.SetCharacterScale(line_, widthSize_, heightSize_);
        Refuse(Opos::OPOS_E_ILLEGAL);
    }
    markSize_ = true;
    return true;
}

bool EscapeInterpreter::Underline(const EscapeSequence& seq) {
    const int32_t thickness = seq.bang ? 0 : (seq.number == 0 ? 1 : seq.number);
    if (!cmd_.SetUnderline(line_, thickness)) {
        cmd_.SetUnderline(line_, e_.defaultUnderline_);
        Refuse(Opos::OPOS_E_ILLEGAL);
    }
    if (!seq.bang) markBoldUnderline_ = true;
    return true;
}

bool EscapeInterpreter::Feed(const EscapeSequence& seq) {
    if (seq.qualifier == "l") {
        cmd_.PrintAndFeedLines(line_, seq.number);
        return true;
    }
    if (seq.qualifier == "u" && seq.number > 0) {
        cmd_.FeedDots(line_, e_.IsInRotate90Mode() ? e_.MapNumber2DOT_H(seq.number) : e_.MapNumber2DOT_V(seq.number));
        return true;
    }
    return false;
}

bool EscapeInterpreter::Normal(const EscapeSequence& seq) {
    if (seq.next != seq.start + kIntroducerLength + 1) return true;
    e_.printModeByte_ = cmd_.SelectPrintModes(line_, false, false, false, false, false);
    cmd_.SetJustification(line_, 0);
    FontMetrics(e_.currentFont_);
    hScale_ = vScale_ = 1;
    justification_ = printerJustification_ = 'N';
    markBoldUnderline_ = false;
    fontB_ = fontPending_ = false;
    return true;
}

bool EscapeInterpreter::Cut(const EscapeSequence& seq) {
    if (validate_ && (seq.number < 1 || seq.number > kFullCut)) {
        Refuse(Opos::OPOS_E_ILLEGAL);
        return true;
    }
    if (seq.star || seq.bang || seq.number > kFullCut || !e_.parameters_.capRecPapercut || seq.qualifier.size() > 1)
        return false;
    // With a letter (ESC|nfP) the paper is first fed to the cutter.
    if (seq.qualifier.size() == 1) {
        const double unit = e_.parameters_.verticalUnitMm * kHundredths;
        if (unit > 0) cmd_.FeedDots(line_, static_cast<int32_t>(e_.parameters_.cutterDistance / unit));
    }
    if (seq.number < kFullCut)
        cmd_.FeedAndPartialCut(line_);
    else
        cmd_.FeedAndFullCut(line_);
    return true;
}

bool EscapeInterpreter::Font(const EscapeSequence& seq) {
    int32_t count = 0;
    const auto& fonts = e_.parameters_.fonts;
    while (count < static_cast<int32_t>(fonts.size()) && fonts[static_cast<size_t>(count)].letter != 0) ++count;
    if (seq.qualifier.size() != 1 || seq.number > count) return false;
    FontMetrics(seq.number == 0 ? e_.defaultFont_ : seq.number - 1);
    fontB_ = seq.number == kFontBNumber;
    fontPending_ = true;
    return true;
}

bool EscapeInterpreter::Bitmap(const EscapeSequence& seq) {
    if (seq.star || seq.bang || seq.number > kMaxStoredBitmap || !e_.IsBitmapStored(seq.number)) return false;
    if (!validate_ && e_.FormatSettedBitmap(line_, seq.number)) RestoreLinePlacement();
    return true;
}

bool EscapeInterpreter::Logo(const EscapeSequence& seq) {
    if (seq.qualifier == "t")
        line_.Append(e_.topLogo_);
    else if (seq.qualifier == "b")
        line_.Append(e_.bottomLogo_);
    else
        return false;
    return true;
}

// Data that is not a barcode request is printed as text; a request the engine cannot carry
// out is reported and leaves nothing on the paper.
bool EscapeInterpreter::Barcode(const EscapeSequence&, std::span<const uint8_t> data) {
    BarcodeRequest r;
    if (!ParseBarcode(data, r)) return false;
    if (e_.FormatBarcode(line_, r.symbology, r.height, r.width, r.alignment, r.textPosition, r.data))
        RestoreLinePlacement();
    else
        Refuse(Opos::OPOS_E_ILLEGAL);
    return true;
}

}  // namespace QVO::Printer
