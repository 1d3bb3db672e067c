// Incremental decoder of the ESC/POS byte stream: command table and variable-length forms.
#include "sim/EscPosDecoder.h"

#include <cstdio>
#include <cstring>

namespace QVO::Sim {

namespace {

constexpr uint8_t ESC = 0x1B, GS = 0x1D, FS = 0x1C, DLE = 0x10;
constexpr size_t kMaxTextRun = 4096;

// A fixed-length command: the parameter layout is a string of 'b' (byte) and 'w' (nL nH).
struct FixedForm {
    uint8_t selector;
    const char* layout;
    const char* name;
};

constexpr FixedForm kEscForms[] = {
    {0x0C, "", "print_page"},      {' ', "b", "char_spacing"},     {'!', "b", "print_modes"},
    {'$', "w", "abs_position"},    {'%', "b", "user_chars"},       {'-', "b", "underline"},
    {'2', "", "default_spacing"},  {'3', "b", "line_spacing"},     {'=', "b", "select_peripheral"},
    {'?', "b", "cancel_user_char"}, {'@', "", "initialize"},       {'E', "b", "emphasis"},
    {'G', "b", "double_strike"},   {'J', "b", "feed_units"},       {'L', "", "page_mode"},
    {'M', "b", "font"},            {'R', "b", "intl_set"},         {'S', "", "standard_mode"},
    {'T', "b", "page_direction"},  {'V', "b", "rotate90"},         {'W', "wwww", "page_area"},
    {'\\', "w", "rel_position"},   {'a', "b", "justify"},          {'c', "bb", "panel_sensors"},
    {'d', "b", "feed_lines"},      {'i', "", "cut_full_legacy"},   {'m', "", "cut_partial_legacy"},
    {'p', "bbb", "pulse"},         {'r', "b", "color"},            {'t', "b", "code_table"},
    {'{', "b", "upside_down"},
};

constexpr FixedForm kGsForms[] = {
    {'!', "b", "char_size"},       {'$', "w", "abs_vposition"},    {'/', "b", "print_downloaded"},
    {':', "", "macro"},            {'B', "b", "reverse"},          {'E', "b", "print_density"},
    {'H', "b", "hri_position"},    {'I', "b", "printer_id"},       {'L', "w", "left_margin"},
    {'P', "bb", "motion_units"},   {'W', "w", "print_area_width"}, {'\\', "w", "rel_vposition"},
    {'^', "bbb", "exec_macro"},    {'a', "b", "asb_enable"},       {'b', "b", "smoothing"},
    {'f', "b", "hri_font"},        {'g', "bbw", "maintenance"},    {'h', "b", "barcode_height"},
    {'r', "b", "transmit_status"}, {'w', "b", "module_width"},
};

constexpr FixedForm kFsForms[] = {
    {'!', "b", "kanji_modes"}, {'&', "", "kanji_on"},       {'.', "", "kanji_off"},
    {'-', "b", "kanji_underline"}, {'C', "b", "kanji_code"}, {'S', "bb", "kanji_spacing"},
    {'W', "b", "kanji_quad"},  {'p', "bb", "print_nv_image"},
};

std::string LeadName(uint8_t lead) {
    switch (lead) {
        case ESC: return "ESC";
        case GS: return "GS";
        case FS: return "FS";
        case DLE: return "DLE";
        default: return "";
    }
}

std::string SelectorName(uint8_t b) {
    if (b > 0x20 && b < 0x7F) return std::string(1, char(b));
    static const char* kCtl[] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                 "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                 "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                 "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    if (b < 0x20) return kCtl[b];
    if (b == 0x20) return "SP";
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", b);
    return hex;
}

unsigned Word(const uint8_t* p) { return p[0] | (unsigned(p[1]) << 8); }

// Reads a fixed form after `head` introducer bytes; 0 = need more bytes.
size_t ParseFixed(const FixedForm& f, const uint8_t* p, size_t n, size_t head, Command& out) {
    size_t need = head;
    for (const char* c = f.layout; *c; ++c) need += (*c == 'w') ? 2 : 1;
    if (n < need) return 0;
    size_t at = head;
    for (const char* c = f.layout; *c; ++c) {
        if (*c == 'w') {
            out.args.push_back(int(Word(p + at)));
            at += 2;
        } else {
            out.args.push_back(p[at++]);
        }
    }
    out.name = f.name;
    return need;
}

template <size_t N>
const FixedForm* FindForm(const FixedForm (&table)[N], uint8_t selector) {
    for (const auto& f : table)
        if (f.selector == selector) return &f;
    return nullptr;
}

// Payload of `len` bytes starting at `at`; 0 = need more, SIZE_MAX = impossible length.
size_t TakePayload(const uint8_t* p, size_t n, size_t at, size_t len, Command& out) {
    if (len > EscPosDecoder::kMaxPayload) return SIZE_MAX;
    if (n < at + len) return 0;
    out.data.assign(p + at, p + at + len);
    return at + len;
}

const char* GsParenName(uint8_t sel, int cn, int fn) {
    switch (sel) {
        case 'A': return "test_print";
        case 'E': return "user_setup";
        case 'K': return "print_control";
        case 'N': return "character_color";
        case 'L': return "graphics";
        case 'k':
            if (cn == 48) {
                switch (fn) {
                    case 65: return "pdf417_columns";
                    case 66: return "pdf417_rows";
                    case 67: return "pdf417_module_width";
                    case 68: return "pdf417_row_height";
                    case 69: return "pdf417_error_level";
                    case 70: return "pdf417_options";
                    case 80: return "pdf417_store";
                    case 81: return "pdf417_print";
                    case 82: return "pdf417_size";
                }
            } else if (cn == 49) {
                switch (fn) {
                    case 65: return "qr_model";
                    case 67: return "qr_module_size";
                    case 69: return "qr_error_level";
                    case 80: return "qr_store";
                    case 81: return "qr_print";
                    case 82: return "qr_size";
                }
            }
            return "symbol";
    }
    return "extended";
}

const char* GraphicsName(int fn) {
    switch (fn) {
        case 0: case 48: return "nv_capacity";
        case 2: case 50: return "print_buffer_graphics";
        case 3: case 51: return "graphics_capacity";
        case 64: return "nv_list_keys";
        case 65: return "nv_delete_all";
        case 66: return "nv_delete";
        case 67: return "nv_define";
        case 69: return "nv_print";
        case 112: return "store_buffer_graphics";
        case 113: return "store_buffer_graphics_column";
    }
    return "graphics";
}

// GS ( x pL pH body: args are the leading function bytes, data the rest of the body.
size_t ParseGsParen(const uint8_t* p, size_t n, Command& out) {
    if (n < 5) return 0;
    const uint8_t sel = p[2];
    const size_t len = Word(p + 3);
    const size_t used = TakePayload(p, n, 5, len, out);
    if (used == 0 || used == SIZE_MAX) return used;
    // How many body bytes are selectors: GS ( k has cn fn, GS ( L has m fn, others fn.
    size_t lead = (sel == 'k' || sel == 'L') ? 2 : (sel == 'A' ? 0 : 1);
    if (lead > out.data.size()) lead = out.data.size();
    for (size_t i = 0; i < lead; ++i) out.args.push_back(out.data[i]);
    out.data.erase(out.data.begin(), out.data.begin() + long(lead));
    if (sel == 'A') {
        for (uint8_t b : out.data) out.args.push_back(b);
        out.data.clear();
    }
    if (sel == 'L')
        out.name = GraphicsName(out.args.size() > 1 ? out.args[1] : -1);
    else
        out.name = GsParenName(sel, out.args.empty() ? -1 : out.args[0],
                               out.args.size() > 1 ? out.args[1] : -1);
    return used;
}

// GS 8 L p1 p2 p3 p4 m fn data: the 32-bit form of GS ( L.
size_t ParseGs8L(const uint8_t* p, size_t n, Command& out) {
    if (n < 7) return 0;
    const size_t len = p[3] | (size_t(p[4]) << 8) | (size_t(p[5]) << 16) | (size_t(p[6]) << 24);
    const size_t used = TakePayload(p, n, 7, len, out);
    if (used == 0 || used == SIZE_MAX) return used;
    size_t lead = out.data.size() < 2 ? out.data.size() : 2;
    for (size_t i = 0; i < lead; ++i) out.args.push_back(out.data[i]);
    out.data.erase(out.data.begin(), out.data.begin() + long(lead));
    out.name = GraphicsName(out.args.size() > 1 ? out.args[1] : -1);
    return used;
}

// GS k m: m 0..6 takes NUL-terminated data, m 65.. a length byte.
size_t ParseBarcode(const uint8_t* p, size_t n, Command& out) {
    if (n < 3) return 0;
    const uint8_t m = p[2];
    out.args.push_back(m);
    out.name = "barcode";
    if (m <= 6) {
        const void* nul = std::memchr(p + 3, 0, n - 3);
        if (!nul) return n - 3 > 255 ? SIZE_MAX : 0;
        const size_t end = size_t(static_cast<const uint8_t*>(nul) - p);
        out.data.assign(p + 3, p + end);
        return end + 1;
    }
    if (n < 4) return 0;
    return TakePayload(p, n, 4, p[3], out);
}

size_t ParseBitImage(const uint8_t* p, size_t n, Command& out) {
    if (n < 5) return 0;
    const uint8_t m = p[2];
    const size_t cols = Word(p + 3);
    out.args = {m, int(cols)};
    out.name = "bit_image";
    const size_t bytesPerCol = (m == 32 || m == 33) ? 3 : 1;
    return TakePayload(p, n, 5, cols * bytesPerCol, out);
}

size_t ParseRaster(const uint8_t* p, size_t n, Command& out) {
    if (n < 8) return 0;
    const size_t xBytes = Word(p + 4), rows = Word(p + 6);
    out.args = {p[3], int(xBytes), int(rows)};
    out.name = "raster_image";
    return TakePayload(p, n, 8, xBytes * rows, out);
}

size_t ParseDownloadedImage(const uint8_t* p, size_t n, Command& out) {
    if (n < 4) return 0;
    out.args = {p[2], p[3]};
    out.name = "define_downloaded";
    return TakePayload(p, n, 4, size_t(p[2]) * p[3] * 8, out);
}

size_t ParseTabs(const uint8_t* p, size_t n, Command& out) {
    out.name = "tabs";
    for (size_t i = 2; i < n; ++i) {
        if (p[i] == 0) return i + 1;
        out.args.push_back(p[i]);
        if (out.args.size() > 32) return SIZE_MAX;  // a real list has at most 32 stops
    }
    return 0;
}

// ESC ( x pL pH body (buzzer, extended mode).
size_t ParseEscParen(const uint8_t* p, size_t n, Command& out) {
    if (n < 5) return 0;
    const size_t used = TakePayload(p, n, 5, Word(p + 3), out);
    if (used == 0 || used == SIZE_MAX) return used;
    out.name = p[2] == 'A' ? "buzzer" : "extended";
    for (uint8_t b : out.data) out.args.push_back(b);
    out.data.clear();
    return used;
}

size_t ParseCut(const uint8_t* p, size_t n, Command& out) {
    if (n < 3) return 0;
    const uint8_t m = p[2];
    out.args.push_back(m);
    out.name = (m == 0 || m == 48 || m == 65 || m == 97 || m == 103) ? "cut_full" : "cut_partial";
    const bool withFeed = m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104;
    if (!withFeed) return 3;
    if (n < 4) return 0;
    out.args.push_back(p[3]);
    return 4;
}

size_t ParseLineSegments(const uint8_t* p, size_t n, Command& out) {
    if (n < 3) return 0;
    out.args.push_back(p[2]);
    out.name = "line_segments";
    return TakePayload(p, n, 3, size_t(p[2]) * 4, out);
}

size_t ParseCurvedText(const uint8_t* p, size_t n, Command& out) {
    if (n < 5) return 0;
    out.args = {p[2], int(Word(p + 3))};
    out.name = "curved_text";
    const void* nul = std::memchr(p + 5, 0, n - 5);
    if (!nul) return n - 5 > 4096 ? SIZE_MAX : 0;
    const size_t end = size_t(static_cast<const uint8_t*>(nul) - p);
    out.data.assign(p + 5, p + end);
    return end + 1;
}

// DLE DC4 fn ...: real-time requests with per-function lengths.
size_t ParseDleDc4(const uint8_t* p, size_t n, Command& out) {
    if (n < 3) return 0;
    const uint8_t fn = p[2];
    switch (fn) {
        case 1:
            out.name = "rt_pulse";
            if (n < 4) return 0;
            out.args = {fn, p[3]};
            // The short form (pin byte outside 0/1) ends after that byte.
            if (p[3] > 1) return 4;
            if (n < 5) return 0;
            out.args.push_back(p[4]);
            return 5;
        case 2:
            out.name = "rt_power_off";
            if (n < 5) return 0;
            out.args = {fn, p[3], p[4]};
            return 5;
        case 7:
            out.name = "rt_buzzer";
            if (n < 4) return 0;
            out.args = {fn, p[3]};
            return 4;
        case 8:
            out.name = "rt_clear_buffers";
            if (n < 10) return 0;
            out.args = {fn};
            return 10;
        default:
            // A bare DLE DC4: the next byte belongs to the following command.
            out.name = "rt_command";
            return 2;
    }
}

}  // namespace

size_t EscPosDecoder::ParseFsQ(const uint8_t* p, size_t n, Command& out) const {
    if (n < 3) return 0;
    const size_t count = p[2];
    out.args.push_back(int(count));
    out.name = "define_nv_images";
    size_t at = 3;
    for (size_t i = 0; i < count; ++i) {
        if (n < at + 4) return 0;
        const size_t x = Word(p + at), y = Word(p + at + 2);
        out.args.push_back(int(x));
        out.args.push_back(int(y));
        const size_t len = rasterNv_ ? y * ((x + 7) / 8) : x * y * 8;
        if (len > kMaxPayload) return SIZE_MAX;
        if (n < at + 4 + len) return 0;
        out.data.insert(out.data.end(), p + at + 4, p + at + 4 + len);
        at += 4 + len;
    }
    return at;
}

size_t EscPosDecoder::TryParse(const uint8_t* p, size_t n, Command& out) const {
    const uint8_t b = p[0];
    if (b >= 0x20) {
        size_t i = 0;
        while (i < n && p[i] >= 0x20 && i < kMaxTextRun) ++i;
        if (i == n && i < kMaxTextRun) return 0;  // the run may go on
        out.key = kTextKey;
        out.code = "text";
        out.name = "text";
        out.data.assign(p, p + i);
        return i;
    }
    out.key = Key(b);
    out.code = SelectorName(b);
    if (b != ESC && b != GS && b != FS && b != DLE) {
        switch (b) {
            case 0x09: out.name = "tab"; break;
            case 0x0A: out.name = "line_feed"; break;
            case 0x0C: out.name = "form_feed"; break;
            case 0x0D: out.name = "carriage_return"; break;
            case 0x18: out.name = "cancel"; break;
            case 0x00: out.name = "nul"; break;
            default: out.name = "control"; out.unknown = true; break;
        }
        return 1;
    }
    if (n < 2) return 0;
    const uint8_t s = p[1];
    out.key = Key(b, s);
    out.code = LeadName(b) + " " + SelectorName(s);
    const FixedForm* form = nullptr;
    switch (b) {
        case ESC:
            if (s == '*') return ParseBitImage(p, n, out);
            if (s == 'D') return ParseTabs(p, n, out);
            if (s == '(') {
                if (n < 3) return 0;
                out.key = Key(b, s, p[2]);
                out.code += " " + SelectorName(p[2]);
                return ParseEscParen(p, n, out);
            }
            form = FindForm(kEscForms, s);
            break;
        case GS:
            if (s == '(' || s == '8' || s == 'v') {
                if (n < 3) return 0;
                out.key = Key(b, s, p[2]);
                out.code += " " + SelectorName(p[2]);
                if (s == '(') return ParseGsParen(p, n, out);
                if (s == '8' && p[2] == 'L') return ParseGs8L(p, n, out);
                if (s == 'v' && (p[2] == '0' || p[2] == 0)) return ParseRaster(p, n, out);
                out.name = "unknown";
                out.unknown = true;
                return 2;
            }
            if (s == 'k') return ParseBarcode(p, n, out);
            if (s == '*') return ParseDownloadedImage(p, n, out);
            if (s == 'V') return ParseCut(p, n, out);
            if (s == '\'') return ParseLineSegments(p, n, out);
            if (s == '"') return ParseCurvedText(p, n, out);
            form = FindForm(kGsForms, s);
            break;
        case FS:
            if (s == 'q') return ParseFsQ(p, n, out);
            form = FindForm(kFsForms, s);
            break;
        case DLE:
            if (s == 0x04 || s == 0x05) {
                if (n < 3) return 0;
                out.args.push_back(p[2]);
                out.name = s == 0x04 ? "rt_status" : "rt_request";
                return 3;
            }
            if (s == 0x14) return ParseDleDc4(p, n, out);
            break;
    }
    if (form) return ParseFixed(*form, p, n, 2, out);
    out.name = "unknown";
    out.unknown = true;
    return 2;
}

void EscPosDecoder::Feed(const uint8_t* data, size_t size, const Sink& sink) {
    pending_.insert(pending_.end(), data, data + size);
    size_t pos = 0;
    while (pos < pending_.size()) {
        Command cmd;
        const size_t n = pending_.size() - pos;
        size_t used = TryParse(pending_.data() + pos, n, cmd);
        if (used == 0) break;
        if (used == SIZE_MAX) {
            // An impossible length: report the introducer and resynchronise after it.
            used = cmd.key == kTextKey ? 1 : 2;
            cmd.name = "oversized";
            cmd.unknown = true;
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
    if (pending_[0] >= 0x20) {
        cmd.key = kTextKey;
        cmd.code = cmd.name = "text";
        cmd.data = pending_;  // text needs no terminator to be whole
    } else {
        cmd.truncated = true;
        cmd.data.clear();
        if (cmd.name.empty()) cmd.name = "truncated";  // cut before its selector was known
    }
    offset_ += pending_.size();
    pending_.clear();
    sink(cmd);
}

void EscPosDecoder::Reset() {
    pending_.clear();
}

}  // namespace QVO::Sim
