// Printer model tests: state changes, status replies, faults and the framed model.
#include "sim/VirtualPrinter.h"
#include "tests/sim/SimTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace QVO::Sim {
namespace {

struct StateCase {
    const char* what;
    Bytes bytes;
    std::function<bool(const PrinterState&)> holds;
};

// Each command must land in the right field with the right decoding of its argument.
TEST(SimPrinter, CommandsChangeTheirState) {
    const std::vector<StateCase> cases = {
        {"ESC ! modes", B({0x1B, 0x21, 0xB9}),
         [](const PrinterState& s) {
             return s.font == 1 && s.emphasized && s.heightMul == 2 && s.widthMul == 2 && s.underline == 1;
         }},
        {"GS ! size", B({0x1D, 0x21, 0x37}), [](const PrinterState& s) { return s.widthMul == 4 && s.heightMul == 8; }},
        {"ESC - 2", B({0x1B, 0x2D, 0x32}), [](const PrinterState& s) { return s.underline == 2; }},
        {"ESC - 3 refused", B({0x1B, 0x2D, 0x03}), [](const PrinterState& s) { return s.underline == 0; }},
        {"ESC a 50", B({0x1B, 0x61, 0x32}), [](const PrinterState& s) { return s.justification == 2; }},
        {"GS L", B({0x1D, 0x4C, 0x2C, 0x01}), [](const PrinterState& s) { return s.leftMargin == 300; }},
        {"GS W", B({0x1D, 0x57, 0x00, 0x01}), [](const PrinterState& s) { return s.printAreaWidth == 256; }},
        {"ESC 3", B({0x1B, 0x33, 0x40}), [](const PrinterState& s) { return s.lineSpacing == 64; }},
        {"ESC t / ESC R", B({0x1B, 0x74, 0x13, 0x1B, 0x52, 0x08}),
         [](const PrinterState& s) { return s.codeTable == 19 && s.intlSet == 8; }},
        {"FS & then FS .", B({0x1C, 0x26, 0x1C, 0x2E}), [](const PrinterState& s) { return !s.kanji; }},
        {"FS &", B({0x1C, 0x26}), [](const PrinterState& s) { return s.kanji; }},
        {"ESC {", B({0x1B, 0x7B, 0x01}), [](const PrinterState& s) { return s.upsideDown; }},
        {"GS B", B({0x1D, 0x42, 0x01}), [](const PrinterState& s) { return s.reverse; }},
        {"ESC M 49", B({0x1B, 0x4D, 0x31}), [](const PrinterState& s) { return s.font == 1; }},
        {"page mode", B({0x1B, 0x4C, 0x1B, 0x54, 0x03, 0x1B, 0x57, 0x0A, 0x00, 0x14, 0x00, 0xC8, 0x00, 0x90, 0x01}),
         [](const PrinterState& s) {
             return s.pageMode && s.pageDirection == 3 && s.pageArea.x == 10 && s.pageArea.y == 20 &&
                    s.pageArea.width == 200 && s.pageArea.height == 400;
         }},
        {"page mode left by FF", B({0x1B, 0x4C, 0x0C}), [](const PrinterState& s) { return !s.pageMode; }},
        {"barcode settings", B({0x1D, 0x68, 0x50, 0x1D, 0x77, 0x04, 0x1D, 0x48, 0x32, 0x1D, 0x66, 0x01}),
         [](const PrinterState& s) {
             return s.barcode.height == 80 && s.barcode.moduleWidth == 4 && s.barcode.hriPosition == 2 &&
                    s.barcode.hriFont == 1;
         }},
        {"qr settings", B({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, 0x06, 0x1D, 0x28, 0x6B, 0x03, 0x00,
                           0x31, 0x45, 0x33, 0x1D, 0x28, 0x6B, 0x05, 0x00, 0x31, 0x50, 0x30, 'h',  'i'}),
         [](const PrinterState& s) { return s.qr.moduleSize == 6 && s.qr.errorLevel == 0x33 && s.qr.data == S("hi"); }},
        {"pdf417 settings",
         B({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x41, 0x05, 0x1D, 0x28, 0x6B, 0x04, 0x00, 0x30, 0x45, 0x30, 0x32}),
         [](const PrinterState& s) {
             return s.pdf417.columns == 5 && s.pdf417.errorMode == 0x30 && s.pdf417.errorValue == 0x32;
         }},
        {"downloaded image", B({0x1D, 0x2A, 0x01, 0x01, 0x80, 0, 0, 0, 0, 0, 0, 0x01}),
         [](const PrinterState& s) {
             return s.downloadedImage.width == 8 && s.downloadedImage.height == 8 && s.downloadedImage.at(0, 0) == 1 &&
                    s.downloadedImage.at(7, 7) == 1 && s.downloadedImage.at(1, 0) == 0;
         }},
        {"buffer graphics stored",
         B({0x1D, 0x38, 0x4C, 0x0C, 0, 0, 0, 0x30, 0x70, 0x30, 1, 1, 0x31, 0x09, 0x00, 0x01, 0x00, 0x80, 0x80}),
         [](const PrinterState& s) {
             return s.bufferGraphics.width == 9 && s.bufferGraphics.at(0, 0) == 1 && s.bufferGraphics.at(8, 0) == 1 &&
                    s.bufferGraphics.at(1, 0) == 0;
         }},
    };
    for (const auto& c : cases) {
        VirtualPrinter p;
        p.Receive(c.bytes);
        EXPECT_TRUE(c.holds(p.State())) << c.what;
    }
}

TEST(SimPrinter, InitializeRestoresDefaultsButKeepsNvImagesAndAsb) {
    VirtualPrinter p;
    p.Receive(Cat({B({0x1B, 0x45, 0x01, 0x1D, 0x21, 0x11, 0x1D, 0x61, 0x02}),
                   B({0x1D, 0x38, 0x4C, 0x0C, 0, 0, 0, 0x30, 0x43, 0x30, 'A', 'B', 1, 8, 0, 1, 0, 0x31, 0xFF}),
                   B({0x1B, 0x40})}));
    const PrinterState s = p.State();
    EXPECT_FALSE(s.emphasized);
    EXPECT_EQ(s.widthMul, 1);
    EXPECT_EQ(s.asbMask, 2);
    ASSERT_EQ(s.nvImages.count(('A' << 8) | 'B'), 1u);
    const MonoImage& nv = s.nvImages.at(('A' << 8) | 'B');
    EXPECT_EQ(nv.width, 8);
    EXPECT_EQ(nv.height, 1);
    EXPECT_EQ(nv.dots, std::vector<uint8_t>(8, 1));
}

struct StatusCase {
    const char* what;
    std::function<void(VirtualPrinter&)> set;
    uint8_t eot1, eot2, eot4, gsr1, gsr2;
};

// The reply bits the host's parsers decode: DLE EOT answers carry 0x12, GS r answers not.
TEST(SimPrinter, StatusRepliesFollowTheConditions) {
    const std::vector<StatusCase> cases = {
        {"all well", [](VirtualPrinter&) {}, 0x12, 0x12, 0x12, 0x00, 0x00},
        {"cover open", [](VirtualPrinter& p) { p.SetCoverOpen(true); }, 0x1A, 0x16, 0x12, 0x00, 0x00},
        {"near end", [](VirtualPrinter& p) { p.SetPaper(PaperLevel::NearEnd); }, 0x12, 0x12, 0x1E, 0x03, 0x00},
        {"paper empty", [](VirtualPrinter& p) { p.SetPaper(PaperLevel::Empty); }, 0x1A, 0x32, 0x7E, 0x0F, 0x00},
        {"drawer open", [](VirtualPrinter& p) { p.SetDrawerOpen(true); }, 0x16, 0x12, 0x12, 0x00, 0x01},
        {"drawer open, low level",
         [](VirtualPrinter& p) {
             p.SetDrawerOpenLevel(false);
             p.SetDrawerOpen(true);
         },
         0x12, 0x12, 0x12, 0x00, 0x00},
        {"drawer closed, low level", [](VirtualPrinter& p) { p.SetDrawerOpenLevel(false); }, 0x16, 0x12, 0x12, 0x00,
         0x01},
        {"offline switch", [](VirtualPrinter& p) { p.SetOffline(true); }, 0x1A, 0x12, 0x12, 0x00, 0x00},
    };
    for (const auto& c : cases) {
        VirtualPrinter p;
        c.set(p);
        p.Receive(B({0x10, 0x04, 0x01, 0x10, 0x04, 0x02, 0x10, 0x04, 0x04, 0x1D, 0x72, 0x01, 0x1D, 0x72, 0x02}));
        EXPECT_EQ(p.TakeAllReplies(), B({c.eot1, c.eot2, c.eot4, c.gsr1, c.gsr2})) << c.what;
    }
}

TEST(SimPrinter, PrinterIdAnswers) {
    VirtualPrinter p(PrinterIdentity::ForModel("TM-T88IV"));
    p.Receive(B({0x1D, 0x49, 0x02, 0x1D, 0x49, 0x41, 0x1D, 0x49, 0x42, 0x1D, 0x49, 0x43}));
    EXPECT_EQ(p.TakeAllReplies(), Cat({B({0x02}), S("_1.00"), B({0}), S("_QUVO"), B({0}), S("_TM-T88IV"), B({0})}));
    VirtualPrinter rx(PrinterIdentity::ForModel("RX4270"));
    rx.Receive(B({0x1D, 0x49, 0x02}));
    EXPECT_EQ(rx.TakeAllReplies(), B({0x01}));  // two-byte characters, no cutter
}

// ASB: a first block right after GS a, then one per change of an enabled kind only.
TEST(SimPrinter, AutoStatusBackOnEnableAndOnChange) {
    VirtualPrinter p;
    p.SetCoverOpen(true);
    EXPECT_TRUE(p.TakeAllReplies().empty()) << "no ASB before GS a";
    p.Receive(B({0x1D, 0x61, 0x02}));  // online/offline changes only
    EXPECT_EQ(p.TakeAllReplies(), B({0x38, 0x00, 0x00, 0x00}));
    p.SetPaper(PaperLevel::NearEnd);
    EXPECT_TRUE(p.TakeAllReplies().empty()) << "paper changes were not asked for";
    p.SetCoverOpen(false);
    EXPECT_EQ(p.TakeAllReplies(), B({0x10, 0x00, 0x03, 0x00}));
    p.Receive(B({0x1D, 0x61, 0xFF}));
    p.TakeAllReplies();
    p.SetPaper(PaperLevel::Empty);
    EXPECT_EQ(p.TakeAllReplies(), B({0x18, 0x00, 0x0F, 0x00}));
    p.Receive(B({0x1D, 0x61, 0x00}));
    p.SetPaper(PaperLevel::Normal);
    EXPECT_TRUE(p.TakeAllReplies().empty()) << "GS a 0 switches ASB off";
}

TEST(SimPrinter, MuteAnswersNothing) {
    VirtualPrinter p;
    p.SetMute(true);
    p.Receive(B({0x1D, 0x61, 0xFF, 0x10, 0x04, 0x01, 0x1D, 0x72, 0x01, 0x1D, 0x49, 0x43}));
    p.SetCoverOpen(true);
    EXPECT_TRUE(p.TakeAllReplies().empty());
    p.SetMute(false);
    p.Receive(B({0x10, 0x04, 0x02}));
    EXPECT_EQ(p.TakeAllReplies(), B({0x16}));
}

// Pulses by ESC p and DLE DC4 1 open the drawer; it closes by itself after the delay.
TEST(SimPrinter, DrawerPulseOpensAndAutoCloses) {
    for (const Bytes& pulse : {B({0x1B, 0x70, 0x00, 0x19, 0xFA}), B({0x10, 0x14, 0x01, 0x00, 0x03})}) {
        VirtualPrinter p;
        p.SetDrawerAutoClose(50);
        p.Receive(B({0x1D, 0x61, 0x01}));
        p.TakeAllReplies();
        p.Receive(pulse);
        EXPECT_TRUE(p.Conditions().drawerOpen);
        EXPECT_EQ(p.TakeAllReplies(), B({0x14, 0x00, 0x00, 0x00}));
        p.Tick(VirtualPrinter::Clock::now());  // not yet due
        EXPECT_TRUE(p.Conditions().drawerOpen);
        p.Tick(VirtualPrinter::Clock::now() + std::chrono::milliseconds(60));
        EXPECT_FALSE(p.Conditions().drawerOpen);
        EXPECT_EQ(p.TakeAllReplies(), B({0x10, 0x00, 0x00, 0x00}));
    }
}

TEST(SimPrinter, PulseWithBadPinIsIgnored) {
    VirtualPrinter p;
    p.Receive(B({0x1B, 0x70, 0x05, 0x19, 0xFA}));
    EXPECT_FALSE(p.Conditions().drawerOpen);
}

// Offline the printer still answers status but holds print data until it is online again.
TEST(SimPrinter, OfflineHoldsPrintingButAnswersStatus) {
    VirtualPrinter p;
    p.SetCoverOpen(true);
    p.Receive(Cat({B({0x1B, 0x61, 0x01}), S("held"), B({0x0A, 0x10, 0x04, 0x01})}));
    EXPECT_EQ(p.TakeAllReplies(), B({0x1A}));
    EXPECT_EQ(p.State().justification, 0);
    EXPECT_EQ(p.State().textBytes, 0u);
    p.SetCoverOpen(false);
    EXPECT_EQ(p.State().justification, 1);
    EXPECT_EQ(p.State().textBytes, 4u);
}

TEST(SimPrinter, PowerCycleResetsStateAndBumpsTheConnection) {
    VirtualPrinter p;
    const uint64_t gen = p.ConnectionGeneration();
    p.Receive(B({0x1D, 0x61, 0xFF, 0x1B, 0x61, 0x02, 0x1D, 0x28}));  // ends inside a command
    p.PowerCycle();
    EXPECT_NE(p.ConnectionGeneration(), gen);
    EXPECT_EQ(p.State().justification, 0);
    EXPECT_EQ(p.State().asbMask, 0);
    EXPECT_TRUE(p.TakeAllReplies().empty());
    // The half command is gone: the next bytes decode from a clean start.
    p.Receive(B({0x10, 0x04, 0x01}));
    EXPECT_EQ(p.TakeAllReplies(), B({0x12}));
}

TEST(SimPrinter, DeselectedPrinterIgnoresDataUntilSelected) {
    VirtualPrinter p;
    p.Receive(Cat({B({0x1B, 0x3D, 0x02, 0x1B, 0x61, 0x01}), S("x"), B({0x1B, 0x3D, 0x01, 0x1B, 0x45, 0x01})}));
    EXPECT_EQ(p.State().justification, 0);
    EXPECT_EQ(p.State().textBytes, 0u);
    EXPECT_TRUE(p.State().emphasized);
}

// GS ( L bodies: m fn, then the store (fn 112) or NV define (fn 67) header and the data.
Bytes GraphicsBody(const Bytes& body) {
    return Cat({B({0x1D, 0x28, 0x4C, int(body.size() & 0xFF), int(body.size() >> 8)}), body});
}

// Catches image sizes taken from the header without looking at the data: a 8 × 60000
// image with one byte of data would make the printer allocate (and draw) 60000 rows, and a
// header of 65535 × 65535 four gigabytes, from a few bytes a host sent.
TEST(SimPrinter, GraphicsWhoseDataIsShortAreRefused) {
    VirtualPrinter p;
    p.Receive(GraphicsBody(B({0x30, 0x70, 0x30, 1, 1, 0x31, 8, 0, 0x60, 0xEA, 0xFF})));               // 8 × 60000
    p.Receive(GraphicsBody(B({0x30, 0x43, 0x30, 'A', 'B', 1, 0x10, 0x00, 0xA0, 0x0F, 0x31, 0xFF})));  // 16×4000
    const PrinterState s = p.State();
    EXPECT_TRUE(s.bufferGraphics.empty()) << s.bufferGraphics.width << "x" << s.bufferGraphics.height;
    EXPECT_EQ(s.nvImages.count(('A' << 8) | 'B'), 0u);
    const auto trace = p.Trace();
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "note graphics_data_short 8x60000"), 1);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "note graphics_data_short 16x4000"), 1);
    // Exactly enough data is still an image.
    p.Receive(GraphicsBody(B({0x30, 0x70, 0x30, 1, 1, 0x31, 8, 0, 2, 0, 0x80, 0x01})));
    EXPECT_EQ(p.State().bufferGraphics.height, 2);
}

// A printer made without rendering must still do everything but draw: the same commands,
// replies and state as one with paper, so the fast fuzzer checks the real printer.
TEST(SimPrinter, WithoutRenderingOnlyThePictureIsMissing) {
    const Bytes stream = Cat({
        B({0x1D, 0x61, 0xFF, 0x1B, 0x61, 0x01, 0x1B, 0x21, 0x38}),
        S("Total"),
        B({0x0A}),
        B({0x1D, 0x6B, 0x49, 0x06, '{', 'B', 'Q', 'U', 'V', 'O'}),
        B({0x1D, 0x28, 0x6B, 0x05, 0x00, 0x31, 0x50, 0x30, 'a', 'b'}),
        B({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30}),
        GraphicsBody(B({0x30, 0x70, 0x30, 1, 1, 0x31, 8, 0, 1, 0, 0xFF})),
        GraphicsBody(B({0x30, 0x32})),
        B({0x1B, 0x4C, 0x1B, 0x54, 0x01}),
        S("page"),
        B({0x0C}),
        B({0x1B, 0x5C, 0x10, 0x00, 0x1D, 0x56, 0x41, 0x08}),
        B({0x10, 0x04, 0x01, 0x1D, 0x72, 0x01, 0x1D, 0x49, 0x43, 0x1B, 0x70, 0x00, 0x19, 0xFA}),
    });
    VirtualPrinter drawn, undrawn(PrinterIdentity{}, VirtualPrinter::Rendering::Off);
    for (VirtualPrinter* p : {&drawn, &undrawn}) {
        p->Receive(stream);
        p->SetCoverOpen(true);
        p->EndOfStream();
    }
    EXPECT_EQ(undrawn.Trace(), drawn.Trace());
    EXPECT_EQ(undrawn.TakeAllReplies(), drawn.TakeAllReplies());
    EXPECT_EQ(undrawn.StatusText(), drawn.StatusText());
    const PrinterState a = drawn.State(), b = undrawn.State();
    EXPECT_TRUE(a.justification == b.justification && a.widthMul == b.widthMul && a.qr.data == b.qr.data &&
                a.fullCuts == b.fullCuts && a.drawerPulses == b.drawerPulses && a.textBytes == b.textBytes);
    EXPECT_GT(drawn.Picture().height, 100);
    EXPECT_EQ(undrawn.Picture().height, 0);
    EXPECT_FALSE(undrawn.WritePng(::testing::TempDir() + "/sim_undrawn.png"));
}

Bytes Packet(const Bytes& data) {
    Bytes out{0xAA, uint8_t(data.size())};
    uint8_t x = 0;
    for (uint8_t b : data) {
        out.push_back(b);
        x ^= b;
    }
    out.push_back(x);
    out.push_back(0xBB);
    return out;
}

TEST(SimFraming, DataPacketsAreAcknowledged) {
    VirtualPrinter p(PrinterIdentity::ForModel("RX4270"));
    p.Receive(Packet(B({0x1B, 0x61, 0x01})));
    EXPECT_EQ(p.TakeAllReplies(), B({0xAA, 0x01, 0x06, 0x06, 0xBB}));
    EXPECT_EQ(p.State().justification, 1);
}

TEST(SimFraming, BadChecksumIsRefusedAndNotApplied) {
    VirtualPrinter p(PrinterIdentity::ForModel("RX4270"));
    Bytes pkt = Packet(B({0x1B, 0x61, 0x02}));
    pkt[5] ^= 0xFF;
    p.Receive(pkt);
    EXPECT_EQ(p.TakeAllReplies(), B({0xAA, 0x01, 0x15, 0x15, 0xBB}));
    EXPECT_EQ(p.State().justification, 0);
}

// The real-time request packet gets the bare status byte the host decodes.
TEST(SimFraming, RealTimeRequestGetsTheBareStatusByte) {
    VirtualPrinter p(PrinterIdentity::ForModel("RX4270"));
    p.SetCoverOpen(true);
    p.Receive(B({0xAA, 0x03, 0x10, 0x04, 0x02, 0x16, 0xBB}));
    EXPECT_EQ(p.TakeAllReplies(), B({0x16}));
}

// A command longer than one packet continues in the next; answers come back framed.
TEST(SimFraming, CommandSpanningPacketsAndFramedAnswers) {
    VirtualPrinter p(PrinterIdentity::ForModel("RX4270"));
    Bytes qr = Cat({B({0x1D, 0x28, 0x6B, 63, 0x00, 0x31, 0x50, 0x30}), Bytes(60, 'Q')});
    p.Receive(Packet(Bytes(qr.begin(), qr.begin() + 46)));
    p.Receive(Packet(Bytes(qr.begin() + 46, qr.end())));
    EXPECT_EQ(p.State().qr.data, Bytes(60, 'Q'));
    p.TakeAllReplies();
    p.Receive(Packet(B({0x1D, 0x72, 0x01})));
    p.SetPaper(PaperLevel::NearEnd);
    p.Receive(Packet(B({0x1D, 0x72, 0x01})));
    EXPECT_EQ(p.TakeAllReplies(), Cat({Packet(B({0x00})), Packet(B({0x03}))}));
}

// Raw bytes outside packets are still printed (the host's status reads go unframed).
TEST(SimFraming, UnframedBytesAreDecodedToo) {
    VirtualPrinter p(PrinterIdentity::ForModel("RX4270"));
    p.Receive(B({0x1D, 0x72, 0x02}));
    EXPECT_EQ(p.TakeAllReplies(), B({0x00}));
    // 0xAA inside a raw command's data is data, not a packet start.
    p.Receive(B({0x1B, 0x33, 0xAA, 0x10, 0x04, 0x01}));
    EXPECT_EQ(p.State().lineSpacing, 0xAA);
    EXPECT_EQ(p.TakeAllReplies(), B({0x12}));
}

}  // namespace
}  // namespace QVO::Sim
