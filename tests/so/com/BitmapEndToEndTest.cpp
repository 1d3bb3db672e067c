// Bitmaps and logos end to end: the POSPrinter control object, the COM runtime, libQUVOSO.so,
// a TCP port and a virtual printer that draws its paper; images are checked as dots.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "tests/so/com/SoTestSupport.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace QVO::Test {
namespace {

using namespace QVO::Opos;
constexpr int32_t kAsIs = -11;

// The dark dots of the paper: how many, and the box around them.
struct Ink {
    int count = 0;
    int left = 0, top = 0, right = -1, bottom = -1;
    int Width() const { return right - left + 1; }
    int Height() const { return bottom - top + 1; }
};

Ink InkOf(const Sim::Canvas& paper) {
    Ink ink{0, paper.width, paper.height, -1, -1};
    for (int y = 0; y < paper.height; ++y)
        for (int x = 0; x < paper.width; ++x)
            if (paper.Get(x, y) < 128) {
                ++ink.count;
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
            }
    return ink;
}

class BitmapEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        TheTempRegistry();
        static const std::string lockDir = TheTempRegistry().Dir() + "/locks";
        std::filesystem::create_directories(lockDir);
        setenv("QUVO_LOCK_DIR", lockDir.c_str(), 1);
        ASSERT_TRUE(RegisterServiceObject()) << dlerror();
    }
    void SetUp() override {
        std::string pattern = (std::filesystem::path(::testing::TempDir()) / "quvo-bitmap-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        server_ = std::make_unique<Sim::TcpServer>(printer_, 0);
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
        PrinterEntry entry;
        entry.portSettings = L"127.0.0.1," + std::to_wstring(server_->Port());
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        name_ = Platform::Text::Utf8ToWide(std::string("Bitmap_") + info->name());
        WritePrinterEntry(name_, entry);
        ASSERT_EQ(printer.Open(name_), OPOS_SUCCESS);
        ASSERT_EQ(printer.ClaimDevice(3000), OPOS_SUCCESS);
        ASSERT_EQ(printer.SetDeviceEnabled(true), OPOS_SUCCESS);
    }
    void TearDown() override {
        printer.Close();
        server_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // A PNG of width x height whose left `blackColumns` columns are black, the rest white.
    std::wstring Png(const std::string& name, int width, int height, int blackColumns) {
        std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3, 0xFF);
        for (int y = 0; y < height; ++y)
            std::fill_n(&rgb[size_t(y) * size_t(width) * 3], size_t(blackColumns) * 3, uint8_t{0});
        const std::string path = dir_ + "/" + name;
        EXPECT_NE(stbi_write_png(path.c_str(), width, height, 3, rgb.data(), width * 3), 0);
        return Platform::Text::Utf8ToWide(path);
    }
    std::wstring File(const std::string& name, const std::string& bytes) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return Platform::Text::Utf8ToWide(path);
    }
    // The paper once `count` dark dots are on it (or what it holds at the deadline).
    Ink InkWhen(int count) {
        Ink ink;
        WaitUntil([&] { return (ink = InkOf(printer_.Picture())).count >= count; });
        return ink;
    }
    bool Shows(const std::string& prefix) {
        return WaitUntil([&] {
            const auto trace = printer_.Trace();
            return std::any_of(trace.begin(), trace.end(),
                               [&](const std::string& t) { return t.rfind(prefix, 0) == 0; });
        });
    }
    std::string TraceText() const {
        std::string all;
        for (const auto& t : printer_.Trace()) all += t + " | ";
        return all;
    }
    size_t Count(const std::string& prefix) const {
        const auto trace = printer_.Trace();
        return size_t(
            std::count_if(trace.begin(), trace.end(), [&](const std::string& t) { return t.rfind(prefix, 0) == 0; }));
    }

    Sim::VirtualPrinter printer_{Sim::PrinterIdentity{}, Sim::VirtualPrinter::Rendering::On};
    std::unique_ptr<Sim::TcpServer> server_;
    std::string dir_;
    std::wstring name_;
    CPosPrinterControl printer;
};

// The image lands on the paper dot for dot: 24 black columns of a 40 x 16 image, as is.
TEST_F(BitmapEndToEnd, PrintBitmapPutsTheImageOnThePaper) {
    ASSERT_EQ(printer.PrintBitmap(PTR_S_RECEIPT, Png("half.png", 40, 16, 24), kAsIs, PTR_BM_LEFT), OPOS_SUCCESS);
    const Ink ink = InkWhen(24 * 16);
    EXPECT_EQ(ink.count, 24 * 16);
    EXPECT_EQ(ink.Width(), 24);
    EXPECT_EQ(ink.Height(), 16);
    EXPECT_EQ(Count("GS 8 L"), 2u) << "store in the graphics buffer, then print it: " << TraceText();
}

// Asynchronously the image is queued and completes like any output.
TEST_F(BitmapEndToEnd, AsynchronousPrintBitmapCompletes) {
    EventLog events;
    RecordEvents(printer, events);
    ASSERT_EQ(printer.SetAsyncMode(true), OPOS_SUCCESS);
    ASSERT_EQ(printer.PrintBitmap(PTR_S_RECEIPT, Png("half.png", 40, 16, 24), kAsIs, PTR_BM_RIGHT), OPOS_SUCCESS);
    EXPECT_TRUE(events.WaitFor("Output " + std::to_string(printer.GetOutputID()))) << events.Text();
    EXPECT_EQ(InkWhen(24 * 16).count, 24 * 16);
}

// Width 80 doubles a 40-dot image: 48 black columns and twice the rows; centred, it moves
// right of where the left-aligned one was.
TEST_F(BitmapEndToEnd, PrintBitmapScalesAndAligns) {
    ASSERT_EQ(printer.PrintBitmap(PTR_S_RECEIPT, Png("half.png", 40, 16, 24), 80, PTR_BM_CENTER), OPOS_SUCCESS);
    const Ink ink = InkWhen(48 * 32);
    EXPECT_EQ(ink.count, 48 * 32);
    EXPECT_EQ(ink.Width(), 48);
    EXPECT_EQ(ink.Height(), 32);
    EXPECT_GT(ink.left, 100) << "centred on the line";
}

// The first stored bitmap goes into the printer (GS *) and prints with GS /; later ones stay
// in engine memory. Storing slot 5 twice and printing it prints the second image.
TEST_F(BitmapEndToEnd, StoredBitmapsPrintFromTheirSlots) {
    ASSERT_EQ(printer.SetBitmap(1, PTR_S_RECEIPT, Png("a.png", 32, 8, 8), kAsIs, PTR_BM_LEFT), OPOS_SUCCESS);
    EXPECT_TRUE(Shows("GS *"));
    ASSERT_EQ(printer.SetBitmap(5, PTR_S_RECEIPT, Png("b.png", 32, 8, 16), kAsIs, PTR_BM_LEFT), OPOS_SUCCESS);
    ASSERT_EQ(printer.SetBitmap(5, PTR_S_RECEIPT, Png("c.png", 32, 8, 24), kAsIs, PTR_BM_LEFT), OPOS_SUCCESS);
    EXPECT_EQ(Count("GS *"), 1u) << "only the first image is downloaded";

    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"\x1b|1B"), OPOS_SUCCESS);
    EXPECT_TRUE(Shows("GS /"));
    EXPECT_EQ(InkWhen(8 * 8).count, 8 * 8);
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"\x1b|5B"), OPOS_SUCCESS);
    EXPECT_EQ(InkWhen(8 * 8 + 24 * 8).count, 8 * 8 + 24 * 8) << "slot 5 holds the second file";
    // A slot never stored prints nothing.
    printer.PrintNormal(PTR_S_RECEIPT, L"\x1b|7B");
    EXPECT_EQ(Count("GS 8 L"), 2u) << "slot 5 stored and printed; nothing for slot 7: " << TraceText();
}

// A logo with text and a stored bitmap, printed by its escape sequence.
TEST_F(BitmapEndToEnd, LogoPrintsByItsEscapeSequence) {
    ASSERT_EQ(printer.SetBitmap(2, PTR_S_RECEIPT, Png("logo.png", 16, 8, 16), kAsIs, PTR_BM_LEFT), OPOS_SUCCESS);
    ASSERT_EQ(printer.SetLogo(PTR_L_TOP, L"\x1b|2BSHOP\n"), OPOS_SUCCESS);
    EXPECT_EQ(Count("text \"SHOP\""), 0u) << "SetLogo stores, it does not print";
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"\x1b|tL"), OPOS_SUCCESS);
    EXPECT_TRUE(Shows("text \"SHOP\""));
    EXPECT_GE(InkWhen(16 * 8).count, 16 * 8);
    EXPECT_EQ(printer.SetLogo(3, L"x"), OPOS_E_EXTENDED);
    EXPECT_EQ(printer.GetResultCodeExtended(), 301);
}

TEST_F(BitmapEndToEnd, RefusedImagesAndArguments) {
    EXPECT_EQ(printer.PrintBitmap(PTR_S_RECEIPT, Platform::Text::Utf8ToWide(dir_ + "/none.png"), kAsIs, PTR_BM_LEFT),
              OPOS_E_NOEXIST);
    EXPECT_EQ(printer.PrintBitmap(PTR_S_RECEIPT, File("text.bmp", "not an image"), kAsIs, PTR_BM_LEFT), OPOS_E_ILLEGAL);
    // A PNG header announcing 16000 x 16000 and no pixels: refused, nothing allocated for it.
    const std::string bomb("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x3e\x80\0\0\x3e\x80\x08\x02\0\0\0\0\0\0\0", 33);
    EXPECT_EQ(printer.PrintBitmap(PTR_S_RECEIPT, File("bomb.png", bomb), 200, PTR_BM_LEFT), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.SetBitmap(3, PTR_S_RECEIPT, File("bomb2.png", bomb), 200, PTR_BM_LEFT), OPOS_E_ILLEGAL);
    // Wider than the line as is: too big.
    EXPECT_EQ(printer.PrintBitmap(PTR_S_RECEIPT, Png("wide.png", 1000, 8, 8), kAsIs, PTR_BM_LEFT), OPOS_E_EXTENDED);
    EXPECT_EQ(printer.GetResultCodeExtended(), OPOS_EPTR_TOOBIG);
    const std::wstring small = Png("small.png", 8, 8, 8);
    EXPECT_EQ(printer.PrintBitmap(PTR_S_RECEIPT, small, 0, PTR_BM_LEFT), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.PrintBitmap(PTR_S_RECEIPT, small, kAsIs, -4), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.SetBitmap(0, PTR_S_RECEIPT, small, kAsIs, PTR_BM_LEFT), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.SetBitmap(21, PTR_S_RECEIPT, small, kAsIs, PTR_BM_LEFT), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.SetBitmap(1, PTR_S_RECEIPT, small, 10000, PTR_BM_LEFT), OPOS_E_ILLEGAL);
    EXPECT_EQ(Count("GS 8 L"), 0u);
    EXPECT_EQ(Count("GS *"), 0u);
}

// Synchronous printing with the cover open is refused before the file is read.
TEST_F(BitmapEndToEnd, CoverOpenRefusesSynchronousPrinting) {
    printer_.SetCoverOpen(true);
    ASSERT_TRUE(WaitUntil([&] { return printer.GetCoverOpen(); }));
    EXPECT_EQ(printer.PrintBitmap(PTR_S_RECEIPT, Png("a.png", 8, 8, 8), kAsIs, PTR_BM_LEFT), OPOS_E_EXTENDED);
    EXPECT_EQ(printer.GetResultCodeExtended(), OPOS_EPTR_COVER_OPEN);
}

}  // namespace
}  // namespace QVO::Test
