// The paper picture: a receipt built by the command builders, read back by a barcode
// scanner, plus the code-page decoding behind the text.
#include "so/cmd/CCmdHelperBase.h"
#include "sim/Render.h"
#include "sim/VirtualPrinter.h"
#include "tests/sim/SimTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

namespace QVO::Sim {
namespace {

using QVO::Printer::CCmdHelperBase;
using QVO::Printer::PrinterBuffer;

void Text(PrinterBuffer& b, const std::string& s) {
    b.Append(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    b.Append(uint8_t(0x0A));
}

// A 96 × 48 logo: a frame with a filled disc, as the bitmap path would send it.
std::vector<uint8_t> Logo(int w, int h) {
    std::vector<uint8_t> rows(size_t(w / 8) * size_t(h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool frame = x < 3 || y < 3 || x >= w - 3 || y >= h - 3;
            const int dx = x - w / 2, dy = y - h / 2;
            if (frame || dx * dx + dy * dy < 16 * 16)
                rows[size_t(y) * size_t(w / 8) + size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
        }
    return rows;
}

const std::string kBarcodeData = "QUVO-0042";
const std::string kQrData = "https://quvo.example/receipt/0042";

PrinterBuffer Receipt() {
    CCmdHelperBase h;
    PrinterBuffer b;
    h.InitializePrinter(b);
    h.SelectCodePage(b, 858);
    h.SetJustification(b, 1);
    const std::vector<uint8_t> logo = Logo(96, 48);
    h.BeginBufferGraphics(b, int32_t(logo.size()), 96, 48);
    b.Append(logo.data(), logo.size());
    h.PrintBufferGraphics(b);
    h.SelectPrintModes(b, false, true, true, true, false);
    Text(b, "QUVO MARKET");
    h.SelectPrintModes(b, false, false, false, false, false);
    Text(b, "Rue de la Gare 12, Lausanne");
    h.SetJustification(b, 0);
    Text(b, "Caf\x82 cr\x8Ame             2.50 \xD5");  // code page 858: é, ê and the euro sign
    Text(b, "Croissant x2           3.80 \xD5");
    h.SetEmphasized(b, true);
    Text(b, "TOTAL                  6.30 \xD5");
    h.SetEmphasized(b, false);
    h.SetUnderline(b, 1);
    b.Append(reinterpret_cast<const uint8_t*>("underlined"), 10);
    h.SetUnderline(b, 0);
    b.Append(uint8_t(' '));
    h.SetReversePrinting(b, true);
    b.Append(reinterpret_cast<const uint8_t*>(" REVERSED "), 10);
    h.SetReversePrinting(b, false);
    Text(b, "");
    h.SelectCharacterFont(b, 1);
    Text(b, "Font B: the fine print, nine dots a character.");
    h.SelectCharacterFont(b, 0);
    const std::string code = "{B" + kBarcodeData;
    h.AppendBarcode(b, 110, 80, 2, 1, -13, 0, std::span(reinterpret_cast<const uint8_t*>(code.data()), code.size()));
    h.FeedDots(b, 30);
    h.SelectQrModel(b, 0x32);
    h.SetQrModuleSize(b, 5);
    h.SetQrErrorLevel(b, 0x31);
    h.StoreQrData(b, std::span(reinterpret_cast<const uint8_t*>(kQrData.data()), kQrData.size()));
    h.PrintQr(b);
    h.SetJustification(b, 1);
    Text(b, "Thank you!");
    h.FeedAndFullCut(b);
    return b;
}

std::string Shell(const std::string& cmd) {
    std::string out;
    std::FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}

// Rows whose dark pixels come in regular dashes over the paper's width: the cut mark.
int CutMarkRows(const Canvas& c) {
    int rows = 0;
    for (int y = 0; y < c.height; ++y) {
        int dark = 0, edges = 0;
        for (int x = 0; x < c.width; ++x) {
            dark += c.Get(x, y) < 128;
            if (x && (c.Get(x, y) < 128) != (c.Get(x - 1, y) < 128)) ++edges;
        }
        if (dark > c.width / 3 && edges > c.width / 12) ++rows;
    }
    return rows;
}

TEST(SimRender, ReceiptPictureHasTheCutAndScansBack) {
    VirtualPrinter p(PrinterIdentity::ForModel("TM-T88IV"));
    const PrinterBuffer receipt = Receipt();
    p.Receive(Bytes(receipt.begin(), receipt.end()));
    for (const auto& t : p.Trace()) EXPECT_EQ(t.rfind("note", 0), std::string::npos) << t;
    const Canvas pic = p.Picture();
    EXPECT_EQ(pic.width, 567);  // 80 mm of 0.141 mm dots
    EXPECT_GT(pic.height, 400);
    EXPECT_GE(CutMarkRows(pic), 1);
    const std::string path = ::testing::TempDir() + "/sim_receipt.png";
    ASSERT_TRUE(p.WritePng(path));
    std::printf("receipt picture: %s\n", path.c_str());
    if (Shell("command -v zbarimg").empty()) GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
    const std::string scanned = Shell("zbarimg --raw -q '" + path + "' 2>/dev/null");
    EXPECT_NE(scanned.find(kBarcodeData + "\n"), std::string::npos) << scanned;
    EXPECT_NE(scanned.find(kQrData + "\n"), std::string::npos) << scanned;
}

struct Box {
    int width = 0, height = 0;
};

Box InkBox(const Canvas& c) {
    int x0 = c.width, y0 = c.height, x1 = -1, y1 = -1;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            if (c.Get(x, y) < 128) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    return x1 < 0 ? Box{} : Box{x1 - x0 + 1, y1 - y0 + 1};
}

// Page-mode text runs along the selected direction, whichever order ESC W and ESC T came in.
TEST(SimRender, PageDirectionTurnsThePage) {
    const Bytes area = {0x1B, 0x57, 0, 0, 0, 0, 0x2C, 0x01, 0x2C, 0x01};  // 300 × 300 at 0,0
    const Bytes text = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 0x0C};
    struct Case {
        int direction;
        bool directionFirst;
        bool upright;
    };
    for (const Case c : {Case{0, true, true}, Case{1, true, false}, Case{1, false, false}, Case{3, false, false},
                         Case{2, false, true}}) {
        VirtualPrinter p;
        const Bytes dir = {0x1B, 0x54, uint8_t(c.direction)};
        Bytes bytes = {0x1B, 0x4C};
        const Bytes& first = c.directionFirst ? dir : area;
        const Bytes& second = c.directionFirst ? area : dir;
        bytes.insert(bytes.end(), first.begin(), first.end());
        bytes.insert(bytes.end(), second.begin(), second.end());
        bytes.insert(bytes.end(), text.begin(), text.end());
        p.Receive(bytes);
        const Box box = InkBox(p.Picture());
        EXPECT_EQ(box.width > box.height, c.upright)
            << "direction " << c.direction << " box " << box.width << "x" << box.height;
        EXPECT_FALSE(p.State().pageMode);
    }
}

// An NV image defined by key and printed by number lands on the paper at its own size.
TEST(SimRender, NvImageDefinedAndPrintedByNumber) {
    CCmdHelperBase h;
    PrinterBuffer b;
    h.BeginNvRasterGraphics(b, false, 16, 8, '0', '7');
    const std::vector<uint8_t> ink(16 / 8 * 8, 0xFF);
    b.Append(ink.data(), ink.size());
    h.PrintNvGraphicsByNumber(b, 7);
    VirtualPrinter p;
    p.Receive(Bytes(b.begin(), b.end()));
    const Box box = InkBox(p.Picture());
    EXPECT_EQ(box.width, 16);
    EXPECT_EQ(box.height, 8);
}

// A symbol the printer cannot encode leaves a note and no ink, not a crash.
TEST(SimRender, UnencodableBarcodeIsNotedNotDrawn) {
    VirtualPrinter p;
    p.Receive(Bytes{0x1D, 0x6B, 0x41, 0x03, 'a', 'b', 'c'});  // UPC-A takes digits only
    const auto trace = p.Trace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back(), "note barcode_not_printed 65");
    EXPECT_EQ(p.Picture().height, 24);  // just the bottom margin
}

// Catches a picture that outgrows the bounds its identity sets (the renderer's fuzzer
// counts on them to keep one input cheap): the roll stops growing at its last row and a
// page is no larger than its side.
TEST(SimRender, IdentityBoundsThePicture) {
    constexpr int kBottomMargin = 24;
    PrinterIdentity shortRoll;
    shortRoll.maxRollRows = 300;
    VirtualPrinter lines(shortRoll);
    for (int i = 0; i < 40; ++i) lines.Receive(Cat({S("line " + std::to_string(i)), B({0x0A})}));
    EXPECT_EQ(lines.Picture().height, 300 + kBottomMargin);

    PrinterIdentity smallPage;
    smallPage.maxPageSide = 100;
    VirtualPrinter page(smallPage);
    page.Receive(Cat({B({0x1B, 0x4C, 0x1B, 0x57, 0, 0, 0, 0, 0xE8, 0x03, 0xE8, 0x03}), S("page"), B({0x0C})}));
    EXPECT_EQ(page.Picture().height, 100 + kBottomMargin);  // asked for 1000 × 1000
}

// Printers on different threads draw through one process-wide glyph cache: each must get
// the picture it gets alone (the ThreadSanitizer build also checks the cache's lock).
TEST(SimRender, PrintersOnTwoThreadsDrawTheSameText) {
    const Bytes line =
        Cat({B({0x1B, 0x74, 0x02}), S("Caf\x82 \x9b\xd5 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ"), B({0x0A})});
    auto draw = [&line] {
        VirtualPrinter p;
        for (int i = 0; i < 4; ++i) p.Receive(line);
        return p.Picture();
    };
    Canvas first, second;
    std::thread a([&] { first = draw(); }), b([&] { second = draw(); });
    a.join();
    b.join();
    const Canvas alone = draw();
    ASSERT_GT(alone.height, 100);
    EXPECT_TRUE(first.px == alone.px && second.px == alone.px);
}

TEST(SimRender, CodeTablesDecodeToTheRightCharacters) {
    struct Case {
        int table;
        uint8_t byte;
        char32_t want;
    };
    const Case cases[] = {
        {0, 0x9C, U'£'},  {0, 0xE1, U'ß'},  {2, 0x9B, U'ø'}, {16, 0x80, U'€'}, {17, 0x80, U'А'},
        {18, 0xA5, U'ą'}, {19, 0xD5, U'€'}, {2, 0xD5, U'ı'}, {0, 'A', U'A'},   {255, 0x9C, U'£'},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeSingleByte(c.table, c.byte), c.want) << "table " << c.table << " byte " << int(c.byte);
    EXPECT_EQ(DecodeDoubleByte(8, 0x82, 0xA0), U'あ');
    struct National {
        int set;
        char ascii;
        char32_t want;
    };
    for (const National n :
         {National{0, '\\', U'\\'}, National{2, '[', U'Ä'}, National{2, '~', U'ß'}, National{3, '#', U'£'},
          National{8, '\\', U'¥'}, National{5, '@', U'É'}, National{2, 'A', U'A'}, National{99, '[', U'['}})
        EXPECT_EQ(ApplyInternationalSet(n.set, char32_t(n.ascii)), n.want) << "set " << n.set << " " << n.ascii;
    EXPECT_EQ(DecodeDoubleByte(15, 0xC4, 0xE3), U'你');
}

}  // namespace
}  // namespace QVO::Sim
