// CPrinterBase, Code 128 data into the printer's code-set notation: "{A", "{B", "{C" select a
// code set, in code set C each byte is a digit pair 0-99, and "{{" stands for a '{'.
#include <cstddef>
#include <span>

#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

namespace {
// What one GS k symbol carries after the code-set selections are added.
constexpr size_t kMaxCode128Input = 232;
constexpr uint8_t kSelect = '{';
constexpr size_t kLongDigitRun = 6;
constexpr size_t kShortDigitRun = 4;
constexpr uint8_t kFirstPrintable = 32;
constexpr uint8_t kLastCodeSetA = 95;
constexpr int32_t kDecimal = 10;

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
// Control characters, and every byte from 128 up (a signed char below 32), need code set A.
bool NeedsCodeSetA(uint8_t c) { return static_cast<signed char>(c) < static_cast<signed char>(kFirstPrintable); }

size_t DigitRun(std::span<const uint8_t> data, size_t from) {
    size_t end = from;
    while (end < data.size() && IsDigit(data[end])) ++end;
    return end - from;
}

// Code set A when a control character comes before any lower-case letter or long digit run.
char PreferCodeSetA(std::span<const uint8_t> data, size_t from) {
    size_t digits = 0;
    for (size_t i = from; i < data.size(); ++i) {
        const uint8_t c = data[i];
        if (NeedsCodeSetA(c)) return 'A';
        if (c > kLastCodeSetA) return 'B';
        digits = IsDigit(c) ? digits + 1 : 0;
        if (digits == kLongDigitRun) return 'B';
    }
    return 'B';
}

// The notation being written, with the code set in force; remembers whether the buffer refused.
class Code128Writer {
public:
    explicit Code128Writer(PrinterBuffer& out) : out_(out) { out_.Clear(); }
    void Select(char set) {
        Put(kSelect);
        Put(static_cast<uint8_t>(set));
        set_ = set;
    }
    void SelectIfNot(char set) {
        if (set_ != set) Select(set);
    }
    // A data character; a '{' is doubled, or the printer would read it as a selection.
    void Character(uint8_t c) {
        if (c == kSelect) Put(kSelect);
        Put(c);
    }
    void DigitPairs(std::span<const uint8_t> digits) {
        for (size_t i = 0; i + 1 < digits.size(); i += 2)
            Put(static_cast<uint8_t>((digits[i] - '0') * kDecimal + (digits[i + 1] - '0')));
    }
    void Put(uint8_t byte) { ok_ = out_.Append(byte) && ok_; }
    char Set() const { return set_; }
    bool Ok() const { return ok_; }

private:
    PrinterBuffer& out_;
    char set_ = 'C';
    bool ok_ = true;
};

bool Replace(PrinterBuffer& data, const PrinterBuffer& converted) {
    data.Clear();
    return data.Append(converted);
}
}  // namespace

int32_t CPrinterBase::convert_bar_code_code128(PrinterBuffer& data) {
    code128Digits_.Clear();
    if (!code128Digits_.Append(data.Data(), std::min(data.Size(), kMaxCode128Input))) return 0;
    const std::span<const uint8_t> in = code128Digits_.Bytes();
    Code128Writer w(code128Output_);
    for (size_t i = 0; i < in.size();) {
        const uint8_t c = in[i];
        if (IsDigit(c)) {
            const size_t run = DigitRun(in, i);
            const bool edge = i == 0 || i + run == in.size();
            if (run >= kLongDigitRun || (run >= kShortDigitRun && edge)) {
                w.Select('C');
                w.DigitPairs(in.subspan(i, run - run % 2));
                if (run % 2 != 0) {
                    w.Select('B');
                    w.Character(in[i + run - 1]);
                }
            } else {
                if (i == 0) w.Select(PreferCodeSetA(in, run));
                for (size_t k = 0; k < run; ++k) w.Character(in[i + k]);
            }
            i += run;
            continue;
        }
        if (NeedsCodeSetA(c))
            w.SelectIfNot('A');
        else if (c <= kLastCodeSetA && w.Set() == 'C')
            w.Select(PreferCodeSetA(in, i));
        else if (c > kLastCodeSetA)
            w.SelectIfNot('B');
        w.Character(c);
        ++i;
    }
    return w.Ok() && Replace(data, code128Output_) ? 1 : 0;
}

// The application chose the code sets; only "{C" digits are packed into pairs, and a code set
// is selected where the data would otherwise start, or continue after packed digits, without one.
int32_t CPrinterBase::convert_bar_code_code128_Parsed(PrinterBuffer& data) {
    code128Digits_.Clear();
    if (!code128Digits_.Append(data.Data(), std::min(data.Size(), kMaxCode128Input))) return 0;
    const std::span<const uint8_t> in = code128Digits_.Bytes();
    if (in.size() < 2) return 0;
    Code128Writer w(code128Output_);
    const bool selected = in[0] == kSelect && (in[1] == 'A' || in[1] == 'B' || in[1] == 'C');
    if (!selected) w.Select(PreferCodeSetA(in, 0));
    for (size_t i = 0; i < in.size();) {
        if (in[i] != kSelect || i + 1 >= in.size()) {
            w.Put(in[i++]);
            continue;
        }
        // A selection or escaped brace travels as a pair, so "{{C" stays a brace and a C.
        w.Put(in[i]);
        w.Put(in[i + 1]);
        const bool codeSetC = in[i + 1] == 'C';
        i += 2;
        if (!codeSetC) continue;
        for (; i + 1 < in.size() && IsDigit(in[i]) && IsDigit(in[i + 1]); i += 2) w.DigitPairs(in.subspan(i, 2));
        if (i < in.size() && in[i] != kSelect) w.Select(PreferCodeSetA(in, i));
    }
    return w.Ok() && Replace(data, code128Output_) ? 1 : 0;
}

}  // namespace QVO::Printer
