// Port enumeration over a fake /dev and dos-devices folder, and names for unnamed devices.
#include "setup/core/PortList.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace QVO::Setup {
namespace {

namespace fs = std::filesystem;

class PortListTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quvo-ports-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        env_.devRoot = (root_ / "dev").string();
        env_.dosDevicesDir = (root_ / "dosdevices").string();
        fs::create_directories(root_ / "dev" / "usb");
        for (const char* node : {"ttyS0", "ttyS1", "ttyUSB0", "ttyACM3", "lp0", "usb/lp0", "ttySX", "console"})
            std::ofstream(root_ / "dev" / node) << "";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    void Link(const char* name, const char* node) {
        fs::create_directories(env_.dosDevicesDir);
        fs::create_symlink(fs::path(env_.devRoot) / node, fs::path(env_.dosDevicesDir) / name);
    }
    std::wstring NameOf(const std::string& node) {
        for (const PortNode& n : EnumPortNodes(env_))
            if (n.device == env_.devRoot + "/" + node) return n.name;
        return L"<absent>";
    }

    fs::path root_;
    QVO::IO::PortEnvironment env_;
};

TEST_F(PortListTest, NodesGetTheNamesThePortsWouldOpenThemBy) {
    EXPECT_EQ(NameOf("ttyS0"), L"COM1");
    EXPECT_EQ(NameOf("ttyS1"), L"COM2");
    EXPECT_EQ(NameOf("ttyUSB0"), L"");
    EXPECT_EQ(NameOf("ttyACM3"), L"");
    EXPECT_EQ(NameOf("lp0"), L"LPT1");
    EXPECT_EQ(NameOf("usb/lp0"), L"");
    EXPECT_EQ(NameOf("ttySX"), L"<absent>");
    EXPECT_EQ(EnumPortNames(env_, true), (std::vector<std::wstring>{L"COM1:", L"COM2:"}));
    EXPECT_EQ(EnumPortNames(env_, false), (std::vector<std::wstring>{L"LPT1:"}));

    // A link takes the name over: COM1 now opens the USB adapter, and ttyS0 has no name.
    Link("com1", "ttyUSB0");
    Link("com12", "ttyACM3");
    Link("lpt3", "usb/lp0");
    EXPECT_EQ(NameOf("ttyUSB0"), L"COM1");
    EXPECT_EQ(NameOf("ttyS0"), L"");
    EXPECT_EQ(NameOf("ttyACM3"), L"COM12");
    EXPECT_EQ(NameOf("usb/lp0"), L"LPT3");
    EXPECT_EQ(EnumPortNames(env_, true), (std::vector<std::wstring>{L"COM1:", L"COM2:", L"COM12:"}));
}

TEST_F(PortListTest, AssignPortNameLinksTheLowestFreeName) {
    std::wstring name;
    ASSERT_TRUE(AssignPortName(env_, env_.devRoot + "/ttyUSB0", name).ok());
    EXPECT_EQ(name, L"COM3");  // COM1 and COM2 are the ttyS nodes'
    EXPECT_EQ(fs::read_symlink(fs::path(env_.dosDevicesDir) / "com3"), fs::path(env_.devRoot) / "ttyUSB0");
    EXPECT_EQ(NameOf("ttyUSB0"), L"COM3");
    // A device that has a name keeps it.
    ASSERT_TRUE(AssignPortName(env_, env_.devRoot + "/ttyS1", name).ok());
    EXPECT_EQ(name, L"COM2");
    ASSERT_TRUE(AssignPortName(env_, env_.devRoot + "/usb/lp0", name).ok());
    EXPECT_EQ(name, L"LPT2");
    EXPECT_FALSE(AssignPortName(env_, env_.devRoot + "/console", name).ok());
}

TEST(PortNames, OnlyComAndLptWithANumber) {
    EXPECT_TRUE(IsPortName(L"COM1", true));
    EXPECT_TRUE(IsPortName(L"com999", true));
    EXPECT_FALSE(IsPortName(L"COM0", true));
    EXPECT_FALSE(IsPortName(L"COM1000", true));
    EXPECT_FALSE(IsPortName(L"COM", true));
    EXPECT_FALSE(IsPortName(L"LPT1", true));
    EXPECT_TRUE(IsPortName(L"LPT1", false));
    EXPECT_FALSE(IsPortName(L"COM1:", true));
}

}  // namespace
}  // namespace QVO::Setup
