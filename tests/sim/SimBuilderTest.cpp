// The printer against the command builders: what the builders send is understood, and what
// the printer answers is decoded by the builders' own status parsers to the right flags.
#include "so/cmd/CCmdHelperBase.h"
#include "so/cmd/CmdHelper_RX4270.h"
#include "sim/VirtualPrinter.h"
#include "tests/sim/SimTestUtil.h"

#include <gtest/gtest.h>

namespace QVO::Sim {
namespace {

using QVO::Printer::CCmdHelperBase;
using QVO::Printer::CmdHelper_RX4270;
using QVO::Printer::ICmdHelper;
using QVO::Printer::PrinterBuffer;
using QVO::Printer::tagPrinterStatus;

Bytes ToBytes(const PrinterBuffer& b) { return Bytes(b.begin(), b.end()); }

void Send(VirtualPrinter& p, const PrinterBuffer& b) { p.Receive(ToBytes(b)); }

struct Condition {
    const char* what;
    std::function<void(VirtualPrinter&)> set;
    tagPrinterStatus expect;  // as flags: non-zero = set
};

std::vector<Condition> Conditions() {
    auto status = [](int drawer, int offline, int cover, int nearEnd, int paperEnd) {
        tagPrinterStatus s;
        s.drawerSignal = drawer;
        s.offline = offline;
        s.coverOpen = cover;
        s.paperNearEnd = nearEnd;
        s.paperEnd = paperEnd;
        return s;
    };
    return {
        {"all well", [](VirtualPrinter&) {}, status(0, 0, 0, 0, 0)},
        {"cover open", [](VirtualPrinter& p) { p.SetCoverOpen(true); }, status(0, 1, 1, 0, 0)},
        {"near end", [](VirtualPrinter& p) { p.SetPaper(PaperLevel::NearEnd); }, status(0, 0, 0, 1, 0)},
        {"paper empty", [](VirtualPrinter& p) { p.SetPaper(PaperLevel::Empty); }, status(0, 1, 0, 1, 1)},
        {"drawer open", [](VirtualPrinter& p) { p.SetDrawerOpen(true); }, status(1, 0, 0, 0, 0)},
        {"offline", [](VirtualPrinter& p) { p.SetOffline(true); }, status(0, 1, 0, 0, 0)},
    };
}

void ExpectFlags(const tagPrinterStatus& got, const tagPrinterStatus& want, const std::string& what, bool drawer,
                 bool offline, bool cover, bool paper) {
    if (drawer) {
        EXPECT_EQ(got.drawerSignal != 0, want.drawerSignal != 0) << what << ": drawer";
    }
    if (offline) {
        EXPECT_EQ(got.offline != 0, want.offline != 0) << what << ": offline";
    }
    if (cover) {
        EXPECT_EQ(got.coverOpen != 0, want.coverOpen != 0) << what << ": cover";
    }
    if (paper) {
        EXPECT_EQ(got.paperNearEnd != 0, want.paperNearEnd != 0) << what << ": near end";
        EXPECT_EQ(got.paperEnd != 0, want.paperEnd != 0) << what << ": paper end";
    }
}

// The real-time dialogue the engine runs: DLE EOT 1, 2 and 4, each answer through the
// parser of the model's own builder.
void ExpectRealTimeAnswersParse(const char* model, ICmdHelper& h) {
    for (const auto& c : Conditions()) {
        VirtualPrinter p(PrinterIdentity::ForModel(model));
        c.set(p);
        tagPrinterStatus got;
        for (int n : {1, 2, 4}) {
            PrinterBuffer req;
            h.RequestRealTimeStatus(req, n);
            Send(p, req);
            const Bytes reply = p.TakeAllReplies();
            ASSERT_EQ(reply.size(), 1u) << c.what << " n=" << n;
            const bool ok = n == 1   ? h.ParsePrinterStatusByte(reply[0], &got)
                            : n == 2 ? h.ParseOfflineStatusByte(reply[0], &got)
                                     : h.ParsePaperStatusByte(reply[0], &got);
            EXPECT_TRUE(ok) << c.what << " n=" << n;
        }
        ExpectFlags(got, c.expect, c.what, true, true, true, true);
    }
}

TEST(SimBuilder, RealTimeAnswersParseToTheConditions) {
    CCmdHelperBase h;
    ExpectRealTimeAnswersParse("TM-T88IV", h);
}

TEST(SimBuilder, AutoStatusBlocksParseToTheConditions) {
    for (const auto& c : Conditions()) {
        VirtualPrinter p;
        CCmdHelperBase h;
        PrinterBuffer enable;
        h.EnableAutoStatusBack(enable, 255);
        Send(p, enable);
        p.TakeAllReplies();
        c.set(p);
        Bytes block = p.TakeAllReplies();
        if (block.empty()) {  // nothing changed: ask for a fresh block the way a host re-enables
            Send(p, enable);
            block = p.TakeAllReplies();
        }
        ASSERT_EQ(block.size(), 4u) << c.what;
        tagPrinterStatus got;
        EXPECT_TRUE(h.ParseAutoStatus(std::span<const uint8_t, 4>(block.data(), 4), &got)) << c.what;
        ExpectFlags(got, c.expect, c.what, true, true, true, true);
    }
}

TEST(SimBuilder, TransmitStatusAnswersParseToTheConditions) {
    for (const auto& c : Conditions()) {
        VirtualPrinter p;
        c.set(p);
        CCmdHelperBase h;
        PrinterBuffer req;
        h.RequestStatus(req, 1);
        h.RequestStatus(req, 2);
        Send(p, req);
        const Bytes reply = p.TakeAllReplies();
        ASSERT_EQ(reply.size(), 2u) << c.what;
        tagPrinterStatus got;
        EXPECT_TRUE(h.ParsePaperSensorByte(reply[0], &got));
        int32_t drawer = 0;
        EXPECT_TRUE(h.ParseDrawerByte(reply[1], &drawer));
        got.drawerSignal = drawer;
        ExpectFlags(got, c.expect, c.what, true, false, false, true);
    }
}

// Setup commands as the engine sends them land in the printer's state.
TEST(SimBuilder, BuiltCommandsSetThePrinterState) {
    CCmdHelperBase h;
    PrinterBuffer b;
    h.InitializePrinter(b);
    h.SelectCodePage(b, 858);
    h.SetLeftMargin(b, 24);
    h.SetPrintAreaWidth(b, 480);
    h.SetLineSpacing(b, 40);
    h.SetCharacterScale(b, 2, 3);
    h.SetEmphasized(b, true);
    h.SetUnderline(b, 2);
    h.SetReversePrinting(b, true);
    h.SetUpsideDown(b, true);
    h.SelectCharacterFont(b, 1);
    h.SetBarcodeHeight(b, 0);
    h.SetBarcodeModuleWidth(b, 9);
    h.SetHriPosition(b, 2);
    VirtualPrinter p;
    Send(p, b);
    const PrinterState s = p.State();
    EXPECT_EQ(s.codeTable, 19);
    EXPECT_FALSE(s.kanji);
    EXPECT_EQ(s.leftMargin, 24);
    EXPECT_EQ(s.printAreaWidth, 480);
    EXPECT_EQ(s.lineSpacing, 40);
    EXPECT_EQ(s.widthMul, 2);
    EXPECT_EQ(s.heightMul, 3);
    EXPECT_TRUE(s.emphasized && s.reverse && s.upsideDown);
    EXPECT_EQ(s.underline, 2);
    EXPECT_EQ(s.font, 1);
    EXPECT_EQ(s.barcode.height, 162);
    EXPECT_EQ(s.barcode.moduleWidth, 2);
    EXPECT_EQ(s.barcode.hriPosition, 2);
    for (const auto& t : p.Trace()) EXPECT_EQ(t.find('?'), std::string::npos) << "undecoded: " << t;
}

TEST(SimBuilder, PageModeAndDrawerAndBuzzer) {
    CCmdHelperBase h;
    PrinterBuffer b;
    h.SelectPageMode(b);
    h.SelectPageDirection(b, h.PageDirectionForRotation(257));
    h.SetPageArea(b, 8, 16, 300, 200);
    VirtualPrinter p;
    Send(p, b);
    PrinterState s = p.State();
    EXPECT_TRUE(s.pageMode);
    EXPECT_EQ(s.pageDirection, 3);
    EXPECT_EQ(s.pageArea.width, 300);
    PrinterBuffer end;
    h.FormFeed(end);
    h.GeneratePulse(end, 1, 25, 250);
    h.SoundBuzzer(end, 200, 300, 2);
    Send(p, end);
    s = p.State();
    EXPECT_FALSE(s.pageMode);
    EXPECT_TRUE(p.Conditions().drawerOpen);
    EXPECT_EQ(s.buzzerCount, 1);
}

// The framed model: every packet of a long stream is acknowledged and its content printed.
TEST(SimBuilder, FramedStreamIsAcknowledgedPacketByPacket) {
    CmdHelper_RX4270 h;
    PrinterBuffer body;
    h.SetJustification(body, 1);
    const Bytes text = S(std::string(100, 'x'));
    body.Append(text.data(), text.size());
    h.LineFeed(body);
    PrinterBuffer framed;
    h.FrameForPort(framed, body);
    VirtualPrinter p(PrinterIdentity::ForModel("RX4270"));
    Send(p, framed);
    const Bytes acks = p.TakeAllReplies();
    const size_t packets = (body.Size() + 45) / 46;
    ASSERT_EQ(acks.size(), 5 * packets);
    for (size_t i = 0; i < packets; ++i)
        EXPECT_EQ(Bytes(acks.begin() + long(5 * i), acks.begin() + long(5 * i + 5)), B({0xAA, 0x01, 0x06, 0x06, 0xBB}));
    EXPECT_EQ(p.State().justification, 1);
    EXPECT_EQ(p.State().textBytes, 100u);
}

TEST(SimBuilder, FramedRealTimeRequestsParseToTheConditions) {
    CmdHelper_RX4270 h;
    ExpectRealTimeAnswersParse("RX4270", h);
}

}  // namespace
}  // namespace QVO::Sim
