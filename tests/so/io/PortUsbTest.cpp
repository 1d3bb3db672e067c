// Finding a USB printer in a fake sysfs tree, and writing to its node.
#include <gtest/gtest.h>

#include "PortTestSupport.h"
#include "so/io/USBPort.h"
#include "so/io/UsbModelTable.h"

namespace QVO::IO {
namespace {

using Peers::TempDir;

// Builds <tmp>/sys/bus/usb/devices/<dev> with its identifier files and, when asked, an
// interface with a printer node lpN, whose device file <tmp>/dev/usb/lpN is created too.
class FakeUsbBus {
public:
    FakeUsbBus() {
        env_.sysfsRoot = dir_ / "sys";
        env_.devRoot = dir_ / "dev";
        std::filesystem::create_directories(Devices());
        std::filesystem::create_directories(env_.devRoot + "/usb");
    }

    void AddDevice(const std::string& name, const std::string& vid, const std::string& pid, int printerNode,
                   const std::string& nodeTarget = "") {
        const std::string dev = Devices() + "/" + name;
        Peers::WriteTextFile(dev + "/idVendor", vid + "\n");
        Peers::WriteTextFile(dev + "/idProduct", pid + "\n");
        Peers::WriteTextFile(dev + "/bcdDevice", "0100\n");
        // A non-printer interface comes first, as on real hubs and composite devices.
        std::filesystem::create_directories(Devices() + "/" + name + ":1.1");
        if (printerNode < 0) return;
        const std::string lp = "lp" + std::to_string(printerNode);
        std::filesystem::create_directories(Devices() + "/" + name + ":1.0/usbmisc/" + lp);
        const std::string node = env_.devRoot + "/usb/" + lp;
        if (nodeTarget.empty())
            Peers::WriteTextFile(node, "");
        else
            std::filesystem::create_symlink(nodeTarget, node);
    }

    std::string Node(int n) const { return env_.devRoot + "/usb/lp" + std::to_string(n); }
    const PortEnvironment& env() const { return env_; }

private:
    std::string Devices() const { return env_.sysfsRoot + "/bus/usb/devices"; }
    TempDir dir_;
    PortEnvironment env_;
};

USBPortSettings WithFragment(const wchar_t* fragment) {
    USBPortSettings s;
    s.SetHardwareIdFragment(fragment);
    return s;
}

TEST(PortUsbTest, HardwareIdIsComposedInUpperCase) {
    FakeUsbBus bus;
    bus.AddDevice("1-1", "04b8", "0e2a", 0);
    USBPort port(WithFragment(L"VID_04B8&PID_0E2A"), bus.env());
    EXPECT_EQ(port.GetDevicePath(), bus.Node(0));
    EXPECT_EQ(port.IsUsbLptDevice(), 0);
}

// Each case: the devices present, the configured fragment, the node expected (-1: none)
// and whether the link counts as parallel.
TEST(PortUsbTest, MatchingRulesAndEnumerationOrder) {
    struct Device {
        const char* name;
        const char* vid;
        const char* pid;
        int node;
    };
    struct Case {
        const char* what;
        std::vector<Device> devices;
        const wchar_t* fragment;
        int expectedNode;
        int usbLpt;
    };
    const Case cases[] = {
        {"configured fragment", {{"1-1", "1234", "0001", 0}, {"1-2", "04b8", "0202", 1}}, L"VID_04B8&PID_0202", 1, 0},
        {"first of two matching", {{"2-1", "04b8", "0202", 3}, {"2-2", "04b8", "0202", 4}}, L"VID_04B8&PID_0202", 3, 0},
        {"adapter", {{"1-1", "3f1e", "1284", 2}}, L"VID_04B8&PID_0202", 2, 1},
        {"vendor only, any product", {{"1-4", "3f1d", "7777", 5}}, L"VID_04B8&PID_0202", 5, 0},
        {"earlier vendor-only beats later configured",
         {{"1-1", "3f1d", "7777", 6}, {"1-2", "04b8", "0202", 7}},
         L"VID_04B8&PID_0202",
         6,
         0},
        {"no printer interface skipped",
         {{"1-1", "04b8", "0202", -1}, {"1-3", "04b8", "0202", 8}},
         L"VID_04B8&PID_0202",
         8,
         0},
        {"nothing matches", {{"1-1", "1234", "0001", 0}, {"1-2", "04b9", "0202", 1}}, L"VID_04B8&PID_0202", -1, 0},
        {"empty fragment matches nothing by itself", {{"1-1", "1234", "0001", 0}}, L"", -1, 0},
    };
    for (const Case& c : cases) {
        FakeUsbBus bus;
        for (const Device& d : c.devices) bus.AddDevice(d.name, d.vid, d.pid, d.node);
        USBPort port(WithFragment(c.fragment), bus.env());
        EXPECT_EQ(port.GetDevicePath(), c.expectedNode < 0 ? "" : bus.Node(c.expectedNode)) << c.what;
        EXPECT_EQ(port.IsUsbLptDevice(), c.usbLpt) << c.what;
        EXPECT_EQ(port.FindDevice(), c.expectedNode < 0 ? kUsbDeviceNotFound : 0) << c.what;
    }
}

// The model name picks the fragment; a lower-case name falls back to the default,
// which then finds our own printer instead of the other make.
TEST(PortUsbTest, ModelNameSelectsTheDevice) {
    FakeUsbBus bus;
    bus.AddDevice("1-1", "04b8", "0202", 0);
    bus.AddDevice("1-2", "3f1d", "0e01", 1);
    for (auto [model, node] : {std::pair{L"TM-T88IV", 0}, std::pair{L"tm-t88iv", 1}}) {
        USBPort port(WithFragment(LookupUsbHardwareId(model)), bus.env());
        EXPECT_EQ(port.GetDevicePath(), bus.Node(node));
    }
}

TEST(PortUsbTest, NoDeviceMeansEmptyPathAndFailingOpen) {
    FakeUsbBus bus;
    USBPort port(USBPortSettings(), bus.env());
    EXPECT_EQ(port.GetDevicePath(), "");
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.IsOpen(), 0);

    PortEnvironment missing = bus.env();
    missing.sysfsRoot += "/absent";
    USBPort nowhere(USBPortSettings(), missing);
    EXPECT_NE(nowhere.FindDevice(), 0);

    // Plugged in later: RefreshDeviceName finds it.
    bus.AddDevice("3-1", "3f1d", "0e01", 2);
    EXPECT_EQ(port.RefreshDeviceName(), 0);
    EXPECT_EQ(port.GetDevicePath(), bus.Node(2));
    EXPECT_EQ(port.Open(), 1);
}

TEST(PortUsbTest, WritesToTheNodeAndReadsTheAnswer) {
    Peers::PtyPair pty;
    pty.HoldSlaveRaw();
    FakeUsbBus bus;
    bus.AddDevice("1-1", "3f1d", "0e01", 0, pty.slavePath());
    USBPort port(USBPortSettings(), bus.env());
    PortTimings t = port.GetTimings();
    t.passWaitMs = 20;
    t.passWaitAllMs = 20;
    t.failedPassPauseMs = 0;
    port.SetTimings(t);
    ASSERT_EQ(port.Open(), 1);

    const std::vector<uint8_t> data = {0x1B, 0x40, 'h', 'i', 0x0A};
    EXPECT_EQ(port.Write(data.data(), 0, 5), 1);
    EXPECT_EQ(pty.Receive(5), data);

    uint8_t buf[4];
    int32_t got = -1;
    EXPECT_EQ(port.ReadOnce(buf, 0, 4, got, 0), 0) << "nothing waiting";
    EXPECT_EQ(port.Read(buf, 0, 4, got, 1), 0);
    t.passWaitAllMs = 1000;  // an answer is coming: it ends the wait
    port.SetTimings(t);
    pty.Send({0x14, 0x00, 0x00, 0x0F});
    EXPECT_EQ(port.Read(buf, 0, 4, got, 1), 1);
    EXPECT_EQ(got, 4);
    EXPECT_EQ(buf[3], 0x0F);

    USBPort other(USBPortSettings(), bus.env());
    EXPECT_EQ(other.Open(), 0) << "the node is held exclusively";
}

}  // namespace
}  // namespace QVO::IO
