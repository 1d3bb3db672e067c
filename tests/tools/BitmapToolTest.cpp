// `quvo bitmap`: the command line and its exit codes, and, when the service object is built,
// an image printed on a virtual printer through the control object.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "sim/Transport.h"
#include "sim/VirtualPrinter.h"
#include "tests/tools/ToolStore.h"

namespace {

using QVO::Test::RunQuvo;

TEST(ToolBitmapTest, HelpAndBadCommandLines) {
    auto r = RunQuvo({"bitmap", "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Usage: quvo bitmap DEVICE FILE"), std::string::npos) << r.out;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"bitmap"},
                                                 {"bitmap", "Receipt"},
                                                 {"bitmap", "Receipt", "a.png", "--width", "0"},
                                                 {"bitmap", "Receipt", "a.png", "--width"},
                                                 {"bitmap", "Receipt", "a.png", "--align", "middle"},
                                                 {"bitmap", "Receipt", "a.png", "--colour"},
                                                 {"bitmap", "Receipt", "a.png", "extra"}}) {
        r = RunQuvo(args);
        EXPECT_EQ(r.exitCode, 2) << args.back() << ": " << r.err;
        EXPECT_NE(r.err.find("Usage:"), std::string::npos) << r.err;
    }
}

#ifdef QUVO_SO_BUILT

const std::wstring kServiceOpos = L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\";

// A 16 x 8 BMP (24 bits, bottom-up rows) whose left half is black.
std::string HalfBlackBmp() {
    constexpr int kW = 16, kH = 8, kRow = kW * 3;
    std::string b(54, '\0');
    b[0] = 'B', b[1] = 'M', b[10] = 54, b[14] = 40, b[18] = kW, b[22] = kH, b[26] = 1, b[28] = 24;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kRow; ++x) b.push_back(x < kRow / 2 ? '\0' : '\xFF');
    return b;
}

class ToolBitmapPrinterTest : public QVO::Test::ToolStoreTest {
protected:
    void SetUp() override {
        ToolStoreTest::SetUp();
        server_ = std::make_unique<QVO::Sim::TcpServer>(printer_, 0);
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
        const auto r = RunQuvo({"register"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        Import(kServiceOpos + L"POSPrinter\\TM-T88IV]\n@=\"QUVOOposPrinterU1.13\"\n\"PortType\"=\"TCP/IP\"\n" +
               L"\"DriverModel\"=\"TM-T88IV\"\n\"DriverName\"=\"TM-T88IV\"\n\"PortSettings\"=\"127.0.0.1," +
               std::to_wstring(server_->Port()) +
               L"\"\n\"OutputBufSize\"=\"4096\"\n\"BitMapMode\"=\"0\"\n\"WriteTimeout\"=\"1000\"\n"
               L"\"ReadTimeout\"=\"1000\"\n\"CodepageID\"=\"437\"\n\"DeviceDescription\"=\"Virtual TM-T88IV\"\n"
               L"\"Notes\"=\"\"\n\n" +
               kServiceOpos + L"POSPrinter]\n\"Receipt\"=\"TM-T88IV\"\n\n");
    }
    void TearDown() override { server_->Stop(); }

    int DarkDots() const {
        const QVO::Sim::Canvas paper = printer_.Picture();
        int dark = 0;
        for (uint8_t p : paper.px) dark += p < 128 ? 1 : 0;
        return dark;
    }

    QVO::Sim::VirtualPrinter printer_{QVO::Sim::PrinterIdentity::ForModel("TM-T88IV")};
    std::unique_ptr<QVO::Sim::TcpServer> server_;
};

// The image arrives as dots: 8 black columns of 8 rows, doubled by --width 32.
TEST_F(ToolBitmapPrinterTest, PrintsAnImageFile) {
    const std::string file = registry_.Path().string() + "/half.bmp";
    std::ofstream(file, std::ios::binary) << HalfBlackBmp();
    auto r = RunQuvo({"bitmap", "Receipt", file, "--width", "32", "--align", "center"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Printed"), std::string::npos) << r.out;
    EXPECT_TRUE(QVO::Test::WaitUntil([&] { return DarkDots() >= 16 * 16; }));
    EXPECT_EQ(DarkDots(), 16 * 16);
}

TEST_F(ToolBitmapPrinterTest, FailuresExitWithOne) {
    auto r = RunQuvo({"bitmap", "Receipt", registry_.Path().string() + "/missing.png"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;
    const std::string text = registry_.Path().string() + "/notes.png";
    std::ofstream(text) << "not an image";
    r = RunQuvo({"bitmap", "Receipt", text});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("not an image"), std::string::npos) << r.err;
    r = RunQuvo({"bitmap", "NoSuchPrinter", text});
    EXPECT_EQ(r.exitCode, 1) << r.err;
}

#endif  // QUVO_SO_BUILT

}  // namespace
