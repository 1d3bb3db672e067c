// An engine of a chosen model with its formatting operations opened up, and a readable command
// trace of a byte stream, for the interpreter and line-metric tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "constants/OposPtrConstants.h"
#include "sim/Command.h"
#include "sim/EscPosDecoder.h"
#include "so/printer/CTM_T88IV.h"

namespace QVO::Printer {

// Engine state that only the formatting tests set or read.
class CPrinterFormatTestAccess {
public:
    static void SetKanjiMode(CPrinterBase& engine, bool on) { engine.kanjiMode_ = on; }
    static int32_t CurrentFont(const CPrinterBase& engine) { return engine.currentFont_; }
    static int32_t LineSpacing(const CPrinterBase& engine) { return engine.recLineSpacing_; }
    static int32_t LineHeight(const CPrinterBase& engine) { return engine.recLineHeight_; }
    // As after a successful open, without a port: the property setters refuse a closed engine.
    static void MarkOpened(CPrinterBase& engine) { engine.opened_ = true; }
    static std::string TransactionBytes(const CPrinterBase& engine) {
        return {engine.transactionBuffer_.begin(), engine.transactionBuffer_.end()};
    }
};

}  // namespace QVO::Printer

namespace QVO::Printer::Test {

// The compatible model (parameters by name), opened as far as formatting needs: properties
// reset as at open, no port.
class FormatEngine : public CTM_T88IV {
public:
    explicit FormatEngine(const std::wstring& model) : CTM_T88IV(model) {
        SetProperty_Open();
        CPrinterFormatTestAccess::MarkOpened(*this);
    }
    using CPrinterBase::BStr2Char;
    using CPrinterBase::DataBinaryConversion;
    using CPrinterBase::DataBinaryConversion2;
    using CPrinterBase::DOT2MapNumber_H;
    using CPrinterBase::DOT2MapNumber_V;
    using CPrinterBase::FormatStringToOutBuffer;
    using CPrinterBase::InitOutBufferWithPMControl;
    using CPrinterBase::MapNumber2DOT_H;
    using CPrinterBase::MapNumber2DOT_V;
    using CPrinterBase::SelectFont;
    using CPrinterBase::SelectHPosInStd;
    using CPrinterBase::set_printerSettings;
    using CPrinterBase::SetCharacterSet;
    using CPrinterBase::ToColumnFormat;

    // Interprets `text` in normal or validate-only mode; the bytes land in `out`.
    int32_t Format(const std::string& text, PrinterBuffer& out, bool validateOnly = false) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
        return FormatStringToOutBuffer(out, {bytes, text.size()}, validateOnly);
    }
    int32_t SetNumber(int32_t index, int32_t value) {
        int32_t rc = -1;
        SetPropertyNumber(index, value, &rc);
        return rc;
    }
    int32_t Number(int32_t index) {
        int32_t value = -1;
        GetPropertyNumber(index, &value);
        return value;
    }
};

// The commands of a byte stream as the virtual printer decodes them: "ESC a 1 | text \"x\"".
inline std::string Trace(const PrinterBuffer& buffer) {
    std::string joined;
    Sim::EscPosDecoder decoder;
    auto sink = [&](const Sim::Command& cmd) { joined += (joined.empty() ? "" : " | ") + Sim::TraceText(cmd); };
    decoder.Feed(buffer.Data(), buffer.Size(), sink);
    decoder.Finish(sink);
    return joined;
}

inline std::string Bytes(const PrinterBuffer& buffer) { return {buffer.begin(), buffer.end()}; }

}  // namespace QVO::Printer::Test
