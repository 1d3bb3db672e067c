// Barcodes and 2D symbols encoded with zint into module matrices the paper draws.
#include "sim/Render.h"

#include <zint.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <memory>

namespace QVO::Sim {

namespace {

struct SymbolDeleter {
    void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};
using SymbolPtr = std::unique_ptr<zint_symbol, SymbolDeleter>;

bool ModuleSet(const zint_symbol* s, int row, int col) { return (s->encoded_data[row][col >> 3] >> (col & 7)) & 1; }

SymbolModules Encode(int symbology, const std::vector<uint8_t>& data, int option1, int option2,
                     int inputMode = DATA_MODE) {
    SymbolModules out;
    if (data.empty()) {
        out.error = "no data";
        return out;
    }
    SymbolPtr s(ZBarcode_Create());
    s->symbology = symbology;
    s->input_mode = inputMode;
    s->option_1 = option1;
    s->option_2 = option2;
    const int err = ZBarcode_Encode(s.get(), data.data(), int(data.size()));
    if (err >= ZINT_ERROR) {
        out.error = s->errtxt;
        return out;
    }
    out.rows = s->rows;
    out.cols = s->width;
    out.on.resize(size_t(out.rows) * size_t(out.cols));
    for (int r = 0; r < out.rows; ++r) {
        out.rowHeight.push_back(s->row_height[r] > 0 ? s->row_height[r] : 1.0f);
        for (int c = 0; c < out.cols; ++c) out.on[size_t(r) * size_t(out.cols) + size_t(c)] = ModuleSet(s.get(), r, c);
    }
    out.hri = reinterpret_cast<const char*>(s->text);
    out.ok = out.rows > 0 && out.cols > 0;
    return out;
}

SymbolModules Refused(const std::string& why) {
    SymbolModules out;
    out.error = why;
    return out;
}

bool AllDigits(const std::vector<uint8_t>& d) {
    return std::all_of(d.begin(), d.end(), [](uint8_t c) { return c >= '0' && c <= '9'; });
}

bool LengthIn(const std::vector<uint8_t>& d, std::initializer_list<size_t> lengths) {
    return std::find(lengths.begin(), lengths.end(), d.size()) != lengths.end();
}

// UPC-A digits (number system 0, ten digits, check digit optional) in the zero-suppressed
// UPC-E form "0" + six digits (+ the check digit), as a printer compresses them; empty when
// the number has no UPC-E form.
std::string SuppressZeros(const std::string& a) {
    const std::string m = a.substr(1, 5), p = a.substr(6, 5);
    std::string e;
    if (m[2] <= '2' && m.substr(3) == "00" && p.substr(0, 2) == "00")
        e = m.substr(0, 2) + p.substr(2) + m[2];
    else if (m.substr(3) == "00" && p.substr(0, 3) == "000" && m[2] >= '3')
        e = m.substr(0, 3) + p.substr(3) + "3";
    else if (m[4] == '0' && p.substr(0, 4) == "0000")
        e = m.substr(0, 4) + p.substr(4) + "4";
    else if (m[4] != '0' && p.substr(0, 4) == "0000" && p[4] >= '5')
        e = m + p.substr(4);
    if (e.empty()) return e;
    return "0" + e + (a.size() == 12 ? a.substr(11) : "");
}

// GS k 66 takes 6, 7 or 8 digits (UPC-E) or 11 or 12 (UPC-A digits it compresses); the number
// system is 0.
SymbolModules EncodeUpcE(const std::vector<uint8_t>& d) {
    if (!AllDigits(d) || !LengthIn(d, {6, 7, 8, 11, 12})) return Refused("UPC-E takes 6, 7, 8, 11 or 12 digits");
    std::string digits(d.begin(), d.end());
    if (digits.size() > 6 && digits[0] != '0') return Refused("UPC-E number system must be 0");
    if (digits.size() >= 11) {
        digits = SuppressZeros(digits);
        if (digits.empty()) return Refused("no zero-suppressed UPC-E form");
    }
    return Encode(BARCODE_UPCE, std::vector<uint8_t>(digits.begin(), digits.end()), 0, 0);
}

// GS1 data with its application identifiers in parentheses, as GS1-128 and DataBar Expanded
// take it: the parentheses delimit the AIs (shown in the text line), FNC1 is the printer's.
SymbolModules EncodeGs1(int symbology, const std::vector<uint8_t>& d) {
    if (d.empty() || d.front() != '(') return Refused("GS1 data must start with an AI in parentheses");
    return Encode(symbology, d, 0, 0, GS1_MODE | GS1PARENS_MODE | GS1NOCHECK_MODE);
}

SymbolModules EncodeEan(const std::vector<uint8_t>& d, std::initializer_list<size_t> lengths) {
    if (!AllDigits(d) || !LengthIn(d, lengths)) return Refused("wrong number of digits");
    return Encode(BARCODE_EANX, d, 0, 0);
}

}  // namespace

std::string Code128Text(const std::vector<uint8_t>& data) {
    std::string text;
    char set = 'B';
    for (size_t i = 0; i < data.size(); ++i) {
        const uint8_t b = data[i];
        if (b == '{' && i + 1 < data.size()) {
            const uint8_t next = data[++i];
            if (next == 'A' || next == 'B' || next == 'C')
                set = char(next);
            else if (next == '{')
                text += '{';
            // {S shift and {1..{4 function characters carry no printable data.
            continue;
        }
        if (set == 'C') {
            char pair[4];
            std::snprintf(pair, sizeof pair, "%02d", b % 100);
            text += pair;
        } else {
            text += char(b);
        }
    }
    return text;
}

SymbolModules EncodeLinear(int symbology, const std::vector<uint8_t>& data) {
    // The NUL-terminated forms 0..6 are the same symbologies as 65..71.
    const int kind = symbology <= 6 ? symbology + 65 : symbology;
    std::vector<uint8_t> d = data;
    switch (kind) {
        case 65:
            if (!AllDigits(d) || !LengthIn(d, {11, 12})) return Refused("UPC-A takes 11 or 12 digits");
            return Encode(BARCODE_UPCA, d, 0, 0);
        case 66:
            return EncodeUpcE(d);
        case 67:
            return EncodeEan(d, {12, 13});
        case 68:
            return EncodeEan(d, {7, 8});
        case 69:
            // The start/stop asterisks are the printer's to add.
            if (!d.empty() && d.front() == '*') d.erase(d.begin());
            if (!d.empty() && d.back() == '*') d.pop_back();
            return Encode(BARCODE_CODE39, d, 0, 0);
        case 70:
            return Encode(BARCODE_C25INTER, d, 0, 0);
        case 71:
            return Encode(BARCODE_CODABAR, d, 0, 0);
        case 72:
            return Encode(BARCODE_CODE93, d, 0, 0);
        case 73: {
            const std::string text = Code128Text(d);
            return Encode(BARCODE_CODE128, std::vector<uint8_t>(text.begin(), text.end()), 0, 0);
        }
        case 74:
            return EncodeGs1(BARCODE_GS1_128, d);
        case 75:
        case 76:
            return Encode(BARCODE_DBAR_OMN, d, 0, 0);
        case 77:
            return Encode(BARCODE_DBAR_LTD, d, 0, 0);
        case 78:
            return EncodeGs1(BARCODE_DBAR_EXP, d);
        default: {
            SymbolModules out;
            out.error = "symbology " + std::to_string(symbology) + " not drawn";
            return out;
        }
    }
}

SymbolModules EncodeQr(const QrSettings& qr) {
    // 48..51 select L, M, Q, H; zint counts them 1..4.
    const int level = (qr.errorLevel >= 48 && qr.errorLevel <= 51) ? qr.errorLevel - 47 : 1;
    return Encode(BARCODE_QRCODE, qr.data, level, 0);
}

SymbolModules EncodePdf417(const Pdf417Settings& pdf) {
    const int level = (pdf.errorMode == 48 && pdf.errorValue >= 48 && pdf.errorValue <= 56) ? pdf.errorValue - 48 : -1;
    const int columns = pdf.columns <= 30 ? pdf.columns : 0;
    return Encode(pdf.truncated ? BARCODE_PDF417COMP : BARCODE_PDF417, pdf.data, level, columns);
}

}  // namespace QVO::Sim
