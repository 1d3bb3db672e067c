// CPrinterBase, text the printer has no single table for: character set 997 (Unicode), 999
// when the model lacks the system ANSI code page, and character sets no platform code page
// converts. Such text reaches the interpreter as UTF-8; each character goes out in a code
// table of the model that carries it, switching tables (ESC t) between runs, and '?' stands
// only for characters no table of the model has.
#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/sync/Mutex.h"
#include "platform/text/TextConv.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

namespace {

constexpr int32_t kCharacterSetUnicode = 997;
constexpr int32_t kCharacterSetAnsi = 999;
constexpr int32_t kNotCarried = -1;
constexpr char32_t kFirstNonAscii = 0x80;
constexpr uint8_t kFirstLeadByte = 0x81;
constexpr uint8_t kContinuationMask = 0xC0;
constexpr uint8_t kContinuation = 0x80;
constexpr uint32_t kContinuationBits = 6;
constexpr size_t kCacheLimit = size_t{1} << 18;  // about 10 MB at most

// The pages a character may go out in, best first: each is a page whose selection puts the
// printer into that page's own table (850 and 858 print as 1252, 720 and 864 as 1256; 949
// selects no Korean table).
constexpr int32_t kRunPages[] = {437, 1252, 852, 866, 862, 1255, 1256, 860, 863, 865, 874, 932, 936};

// The two-byte pages: their selection turns Kanji mode on and an international set that
// prints the backslash as a yen sign.
bool IsKanjiPage(int32_t page) { return page == 932 || page == 936; }

bool IsRunPage(int32_t page) {
    for (const int32_t p : kRunPages)
        if (p == page) return true;
    return false;
}

// Encodings looked up once per process: iconv per character would cost more than the text.
// Bounded, so arbitrary text cannot grow it without end (past the bound, lookups are not kept).
// Thread-safe: the engines of different printers format on their own threads.
class EncodingCache {
public:
    int32_t Encode(int32_t page, char32_t c) {
        const uint64_t key = (static_cast<uint64_t>(static_cast<uint32_t>(page)) << 32) | c;
        {
            Platform::MutexLock lock(mutex_);
            if (auto it = codes_.find(key); it != codes_.end()) return it->second;
        }
        const int32_t code = Lookup(page, c);
        Platform::MutexLock lock(mutex_);
        if (codes_.size() < kCacheLimit) codes_.emplace(key, code);
        return code;
    }

private:
    // One byte for a one-byte page (a byte above ASCII: an ASCII byte would print as itself);
    // lead and trail for a two-byte page, as Kanji mode reads every byte above ASCII as a lead.
    static int32_t Lookup(int32_t page, char32_t c) {
        bool lossy = false;
        const std::string bytes =
            Platform::Text::WideToCodePage(std::wstring(1, static_cast<wchar_t>(c)), page, &lossy);
        if (lossy) return kNotCarried;
        const auto first = bytes.empty() ? uint8_t{0} : static_cast<uint8_t>(bytes[0]);
        if (!IsKanjiPage(page)) return bytes.size() == 1 && first >= kFirstNonAscii ? first : kNotCarried;
        if (bytes.size() != 2 || first < kFirstLeadByte) return kNotCarried;
        return (first << 8) | static_cast<uint8_t>(bytes[1]);
    }

    Platform::Mutex mutex_;
    std::unordered_map<uint64_t, int32_t> codes_ QUVO_GUARDED_BY(mutex_);
};

EncodingCache& Cache() {
    static EncodingCache cache;
    return cache;
}

// The bytes of c in `page` (two bytes as lead << 8 | trail), or kNotCarried. Page 0 is the
// CharacterSet's own selection, trusted with ASCII only.
int32_t EncodeIn(int32_t page, char32_t c) {
    if (c < kFirstNonAscii) return page != 0 && IsKanjiPage(page) && c == U'\\' ? kNotCarried : int32_t(c);
    if (page == 0) return kNotCarried;
    return Cache().Encode(page, c);
}

// The pages a model that names none is taken to have: the standard tables.
const std::wstring kStandardPages = L"437,720,850,852,858,860,862,863,864,865,866,874,932,936,949,1252,1255,1256";

// The code pages of the model's current font, each as the page its text is converted in.
std::vector<int32_t> ModelPages(const DeviceParameters& p, int32_t font, int32_t (*conversion)(int32_t)) {
    const bool known = font >= 0 && font < static_cast<int32_t>(p.fonts.size());
    const std::wstring& named = known ? p.fonts[static_cast<size_t>(font)].codePages : kStandardPages;
    const std::wstring& list = named.empty() ? kStandardPages : named;
    std::vector<int32_t> pages;
    size_t from = 0;
    while (from < list.size()) {
        size_t comma = list.find(L',', from);
        if (comma == std::wstring::npos) comma = list.size();
        int32_t value = 0;
        for (size_t i = from; i < comma && value >= 0; ++i)
            value = list[i] >= L'0' && list[i] <= L'9' && value < 100000 ? value * 10 + (list[i] - L'0') : -1;
        if (value > 0) pages.push_back(conversion(value));
        from = comma + 1;
    }
    return pages;
}

bool Contains(const std::vector<int32_t>& pages, int32_t page) {
    return std::find(pages.begin(), pages.end(), page) != pages.end();
}

}  // namespace

// Runs for 997; for 999 when the model lacks the ANSI page's table; and for a set (a registry's
// CodepageID, 255) that is neither a table the printer has nor one the model names, whose
// text would otherwise print nothing or print through the wrong table.
bool CPrinterBase::UsesUnicodeRuns() const {
    if (binaryConversion_ != 0) return false;
    if (characterSet_ == kCharacterSetUnicode) return true;
    const int32_t page = ConversionCodePage(characterSet_);
    if (characterSet_ != kCharacterSetAnsi && IsRunPage(page)) return false;
    const auto pages = ModelPages(parameters_, currentFont_, &ConversionCodePage);
    if (characterSet_ == kCharacterSetAnsi) return !Contains(pages, page);
    return !Contains(pages, page);
}

std::string CPrinterBase::UnicodeRunText(std::wstring_view text) const {
    if (characterSet_ != kCharacterSetAnsi) return Platform::Text::WideToUtf8(text);
    // Only what the ANSI page holds, as an application written for that page expects.
    const int32_t ansi = Platform::Text::SystemAnsiCodePage();
    return Platform::Text::WideToUtf8(Platform::Text::CodePageToWide(Platform::Text::WideToCodePage(text, ansi), ansi));
}

void CPrinterBase::BeginUnicodeRuns() {
    unicodeRuns_.partial = 0;
    unicodeRuns_.missing = 0;
    unicodeRuns_.page = 0;
    unicodeRuns_.active = UsesUnicodeRuns();
    if (!unicodeRuns_.active) return;
    const auto pages = ModelPages(parameters_, currentFont_, &ConversionCodePage);
    unicodeRuns_.pages.clear();
    for (const int32_t page : kRunPages)
        if (Contains(pages, page)) unicodeRuns_.pages.push_back(page);
}

int32_t CPrinterBase::AppendUnicodeCharacter(PrinterBuffer& line, char32_t character) {
    UnicodeRuns& u = unicodeRuns_;
    int32_t code = EncodeIn(u.page, character);
    for (size_t i = 0; code == kNotCarried && i < u.pages.size(); ++i) {
        code = EncodeIn(u.pages[i], character);
        if (code == kNotCarried) continue;
        cmd_->SelectCodePage(line, u.pages[i]);
        u.page = u.pages[i];
    }
    if (code == kNotCarried) code = '?';
    if (code > 0xFF) {
        line.Append(static_cast<uint8_t>(code >> 8));
        line.Append(static_cast<uint8_t>(code));
        return 2;
    }
    line.Append(static_cast<uint8_t>(code));
    return 1;
}

int32_t CPrinterBase::AppendUnicodeByte(PrinterBuffer& line, uint8_t byte) {
    UnicodeRuns& u = unicodeRuns_;
    int32_t cells = 0;
    if (u.missing > 0) {
        if ((byte & kContinuationMask) == kContinuation) {
            u.partial = (u.partial << kContinuationBits) | (byte & 0x3F);
            return --u.missing == 0 ? AppendUnicodeCharacter(line, u.partial) : 0;
        }
        // A character cut short (ESC|nE or ESC|nR data counted in bytes) prints as '?'.
        u.missing = 0;
        cells = AppendUnicodeCharacter(line, U'?');
    }
    if (byte < kFirstNonAscii) return cells + AppendUnicodeCharacter(line, byte);
    if ((byte & 0xE0) == 0xC0) {
        u.partial = byte & 0x1F;
        u.missing = 1;
    } else if ((byte & 0xF0) == 0xE0) {
        u.partial = byte & 0x0F;
        u.missing = 2;
    } else if ((byte & 0xF8) == 0xF0) {
        u.partial = byte & 0x07;
        u.missing = 3;
    } else {
        cells += AppendUnicodeCharacter(line, U'?');
    }
    return cells;
}

int32_t CPrinterBase::EndUnicodeRuns(PrinterBuffer& line) {
    UnicodeRuns& u = unicodeRuns_;
    int32_t cells = 0;
    if (u.missing > 0) {
        u.missing = 0;
        cells = AppendUnicodeCharacter(line, U'?');
    }
    // Every output starts in the CharacterSet's selection; the next call counts on it.
    if (u.page != 0) cmd_->SelectCodePage(line, characterSet_);
    u.page = 0;
    return cells;
}

}  // namespace QVO::Printer
