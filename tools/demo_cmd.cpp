// `quvo demo`: the way an application prints. A virtual printer on a loopback TCP port, the
// service object registered in a temporary registry with a printer and a drawer entry, and a
// receipt printed through the POSPrinter control object; the events that came back are shown,
// and the paper is left as a PNG.
#include "tools/Command.h"
#include "tools/ServiceObjectPath.h"

#include "constants/OposCashConstants.h"
#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "opos/CashDrawerControl.h"
#include "opos/PosPrinterControl.h"
#include "platform/registry/Registry.h"
#include "platform/sync/Mutex.h"
#include "sim/Transport.h"
#include "sim/VirtualPrinter.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

namespace Opos = QVO::Opos;
namespace Reg = QVO::Platform::Registry;
using QVO::Tools::kExitFailure;
using QVO::Tools::kExitOk;
using QVO::Tools::kExitUsage;

constexpr const char* kUsage =
    "Usage: quvo demo [--out DIR]\n"
    "Starts a virtual printer on a loopback TCP port, registers the service object with a\n"
    "printer entry and a cash drawer entry in a temporary registry, and prints a receipt the\n"
    "way an application does: through the POSPrinter control object (styles, alignment,\n"
    "right-aligned prices, a barcode, a cut). It switches faults on the printer, kicks the\n"
    "drawer, prints every event the control objects received, and leaves the paper as\n"
    "DIR/receipt.png and the decoded commands as DIR/commands.log (DIR defaults to out/demo).\n"
    "Exit status: 0 done, 1 failed, 2 bad command line.\n";

constexpr const wchar_t* kPrinterName = L"DemoPrinter";
constexpr const wchar_t* kDrawerName = L"DemoDrawer";
constexpr const wchar_t* kProgId = L"QUVOOposPrinterU1.13";
constexpr const wchar_t* kServiceKey = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\";
constexpr int32_t kClaimTimeoutMs = 3000;
constexpr int kEventWaitMs = 5000;
constexpr int kDrawerClosesAfterMs = 400;

// The receipt as an application writes it: OPOS escape sequences for centring, bold, double
// size, underline, reverse, right-aligned prices, feeds. A line's justification counts when
// the line is printed, so ESC|N (everything back to normal) follows the line feed there.
const wchar_t kReceipt[] =
    L"\x1b|cA\x1b|bC\x1b|4CQUVO MARKET\n\x1b|N"
    L"\x1b|cA12 Harbour Street\n"
    L"\x1b|cA\x1b|uC2026-12-07 10:42   Till 3\n\x1b|N\n"
    L"Coffee beans 1kg\x1b|rA14.90\x1b|N\n"
    L"Oat milk\x1b|rA2.35\x1b|N\n"
    L"Croissant x3\x1b|rA5.40\x1b|N\n"
    L"Caf\u00e9 cr\u00e8me\x1b|rA3.20\x1b|N\n"
    L"\x1b|uC                                          \x1b|N\n"
    L"\x1b|bC\x1b|2CTOTAL\x1b|rA25.85\x1b|N\n"
    L"\x1b|cA\x1b|rvC PAID BY CARD \n\x1b|N\n";

// Events arrive on the service object's event thread: one line each, never interleaved.
class EventPrinter {
public:
    void Line(const std::string& text) {
        QVO::Platform::MutexLock lock(mutex_);
        std::printf("  event: %s\n", text.c_str());
        std::fflush(stdout);
        lines_.push_back(text);
    }
    // How many events came so far: WaitFor looks only at those after such a mark.
    size_t Mark() {
        QVO::Platform::MutexLock lock(mutex_);
        return lines_.size();
    }
    bool WaitFor(const std::string& text, size_t from = 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEventWaitMs);
        while (std::chrono::steady_clock::now() < deadline) {
            {
                QVO::Platform::MutexLock lock(mutex_);
                for (size_t i = from; i < lines_.size(); ++i)
                    if (lines_[i] == text) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

private:
    QVO::Platform::Mutex mutex_;
    std::vector<std::string> lines_ QUVO_GUARDED_BY(mutex_);
};

std::string PrinterStatusName(int32_t s) {
    switch (s) {
        case Opos::PTR_SUE_COVER_OPEN:
            return "COVER_OPEN";
        case Opos::PTR_SUE_COVER_OK:
            return "COVER_OK";
        case Opos::PTR_SUE_REC_EMPTY:
            return "REC_EMPTY";
        case Opos::PTR_SUE_REC_NEAREMPTY:
            return "REC_NEAREMPTY";
        case Opos::PTR_SUE_REC_PAPEROK:
            return "REC_PAPEROK";
        case Opos::PTR_SUE_IDLE:
            return "IDLE";
        default:
            return std::to_string(s);
    }
}

std::string DrawerStatusName(int32_t s) {
    if (s == Opos::CASH_SUE_DRAWEROPEN) return "DRAWEROPEN";
    if (s == Opos::CASH_SUE_DRAWERCLOSED) return "DRAWERCLOSED";
    return std::to_string(s);
}

void Listen(Opos::CControlObject& co, EventPrinter& events, const char* who, std::string (*statusName)(int32_t)) {
    const std::string prefix = who;
    co.SetStatusUpdateEventHandler(
        [&events, prefix, statusName](int32_t s) { events.Line(prefix + " StatusUpdate " + statusName(s)); });
    co.SetOutputCompleteEventHandler(
        [&events, prefix](int32_t id) { events.Line(prefix + " OutputComplete " + std::to_string(id)); });
    co.SetErrorEventHandler([&events, prefix](int32_t rc, int32_t ext, int32_t, int32_t&) {
        events.Line(prefix + " Error " + std::to_string(rc) + "/" + std::to_string(ext));
    });
}

bool WriteEntry(const std::wstring& key, const std::vector<std::pair<const wchar_t*, std::wstring>>& values) {
    Reg::Key k;
    if (!Reg::Key::Create(Reg::Hive::LocalMachine, kServiceKey + key, k)) return false;
    for (const auto& [name, value] : values)
        if (!k.SetValue(name, Reg::Value::String(value))) return false;
    return true;
}

// The service object registers itself, as regsvr32 would have it do; the entries are the
// configuration utility's.
bool RegisterAndConfigure(uint16_t port) {
    const std::string library = QVO::Tools::DefaultServiceObjectLibrary();
    void* module = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        std::fprintf(stderr, "quvo demo: cannot load %s: %s\n", library.c_str(), dlerror());
        return false;
    }
    using RegisterFn = int32_t (*)();
    auto reg = reinterpret_cast<RegisterFn>(dlsym(module, "DllRegisterServer"));
    const bool registered = reg != nullptr && reg() == 0;
    dlclose(module);
    if (!registered) {
        std::fprintf(stderr, "quvo demo: the service object did not register\n");
        return false;
    }
    const std::wstring portText = L"127.0.0.1," + std::to_wstring(port);
    return WriteEntry(std::wstring(L"POSPrinter\\") + kPrinterName, {{L"", kProgId},
                                                                     {L"PortType", L"TCP/IP"},
                                                                     {L"DriverModel", L"TM-T88IV"},
                                                                     {L"DriverName", kPrinterName},
                                                                     {L"PortSettings", portText},
                                                                     {L"OutputBufSize", L"2048"},
                                                                     {L"BitMapMode", L"RasterBitImage"},
                                                                     {L"WriteTimeout", L"2000"},
                                                                     {L"ReadTimeout", L"2000"},
                                                                     {L"CodepageID", L"1252"},
                                                                     {L"DeviceDescription", L"Demo receipt printer"},
                                                                     {L"Notes", L""}}) &&
           WriteEntry(std::wstring(L"CashDrawer\\") + kDrawerName, {{L"", kProgId},
                                                                    {L"OpenVoltage", L"1"},
                                                                    {L"CapDrawStatus", L"1"},
                                                                    {L"DrawerPin", L"1"},
                                                                    {L"PrinterName", kPrinterName},
                                                                    {L"SignalOffTime", L"10"},
                                                                    {L"SignalOnTime", L"10"},
                                                                    {L"WaitForDrawerCloseTimeOut", L"5000"},
                                                                    {L"CashDrawerName", kDrawerName}});
}

bool Step(const char* what, int32_t rc, Opos::CControlObject& co) {
    if (rc == Opos::OPOS_SUCCESS) return true;
    std::fprintf(stderr, "quvo demo: %s failed: %d/%d\n", what, rc, co.GetResultCodeExtended());
    return false;
}

bool Ready(Opos::CControlObject& co, const wchar_t* name) {
    const int32_t rc = co.Open(name);
    if (rc != Opos::OPOS_SUCCESS) {
        std::fprintf(stderr, "quvo demo: Open %ls failed: %d (OpenResult %d)\n", name, rc, co.GetOpenResult());
        return false;
    }
    return Step("ClaimDevice", co.ClaimDevice(kClaimTimeoutMs), co) &&
           Step("DeviceEnabled", co.SetDeviceEnabled(true), co);
}

// The receipt, its barcode and the cut. The barcode is optional: a service object that cannot
// print it says so, and the demo says so too.
bool PrintReceipt(Opos::CPosPrinterControl& printer, EventPrinter& events) {
    if (!Step("AsyncMode", printer.SetAsyncMode(true), printer)) return false;
    std::printf("Printing the receipt through the POSPrinter control object...\n");
    if (!Step("PrintNormal", printer.PrintNormal(Opos::PTR_S_RECEIPT, kReceipt), printer)) return false;
    const struct {
        const wchar_t* data;
        int32_t symbology;
        int32_t height;
        const char* name;
    } codes[] = {{L"4006381333931", Opos::PTR_BCS_EAN13, 80, "EAN-13"},
                 {L"https://quvo.example/receipt/2026-12-07/0042", Opos::PTR_BCS_QRCODE, 200, "QR Code"}};
    for (const auto& code : codes) {
        const int32_t rc = printer.PrintBarCode(Opos::PTR_S_RECEIPT, code.data, code.symbology, code.height, 300,
                                                Opos::PTR_BC_CENTER, Opos::PTR_BC_TEXT_BELOW);
        if (rc == Opos::OPOS_SUCCESS)
            std::printf("  PrintBarCode %s %ls: printed\n", code.name, code.data);
        else
            std::printf("  note: PrintBarCode %s answered %d/%d; the receipt goes on without it\n", code.name, rc,
                        printer.GetResultCodeExtended());
    }
    if (!Step("PrintNormal", printer.PrintNormal(Opos::PTR_S_RECEIPT, L"\n\x1b|cAThank you!\n"), printer)) return false;
    if (!Step("CutPaper", printer.CutPaper(90), printer)) return false;
    const int32_t last = printer.GetOutputID();
    if (!events.WaitFor("printer OutputComplete " + std::to_string(last))) {
        std::fprintf(stderr, "quvo demo: output %d did not complete\n", last);
        return false;
    }
    return true;
}

// Faults switched on the virtual printer come back as StatusUpdate events.
bool ShowFaults(QVO::Sim::VirtualPrinter& device, EventPrinter& events) {
    std::printf("Switching faults on the printer...\n");
    const std::pair<std::function<void()>, const char*> steps[] = {
        {[&] { device.SetPaper(QVO::Sim::PaperLevel::NearEnd); }, "printer StatusUpdate REC_NEAREMPTY"},
        {[&] { device.SetCoverOpen(true); }, "printer StatusUpdate COVER_OPEN"},
        {[&] { device.SetCoverOpen(false); }, "printer StatusUpdate COVER_OK"},
        {[&] { device.SetPaper(QVO::Sim::PaperLevel::Normal); }, "printer StatusUpdate REC_PAPEROK"},
    };
    for (const auto& [action, expected] : steps) {
        const size_t mark = events.Mark();
        action();
        if (!events.WaitFor(expected, mark)) {
            std::fprintf(stderr, "quvo demo: no event \"%s\"\n", expected);
            return false;
        }
    }
    return true;
}

bool KickDrawer(QVO::Sim::VirtualPrinter& device, Opos::CCashDrawerControl& drawer, EventPrinter& events) {
    device.SetDrawerAutoClose(kDrawerClosesAfterMs);
    std::printf("Opening the cash drawer through the CashDrawer control object...\n");
    const size_t mark = events.Mark();
    if (!Step("OpenDrawer", drawer.OpenDrawer(), drawer)) return false;
    return events.WaitFor("drawer StatusUpdate DRAWEROPEN", mark) &&
           events.WaitFor("drawer StatusUpdate DRAWERCLOSED", mark);
}

// A registry of its own, so that the demo never touches the machine's or the user's.
std::string TemporaryRegistry() {
    std::string dir = (std::filesystem::temp_directory_path() / "quvo-demo-registry-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) return {};
    setenv("QUVO_REGISTRY_DIR", dir.c_str(), 1);
    return dir;
}

int RunDemo(int argc, char** argv) {
    std::string outDir = "out/demo";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        if (!std::strcmp(argv[i], "--out") && i + 1 < argc) {
            outDir = argv[++i];
            continue;
        }
        std::fprintf(stderr, "quvo demo: unexpected argument '%s'\n%s", argv[i], kUsage);
        return kExitUsage;
    }
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    const std::string png = outDir + "/receipt.png", log = outDir + "/commands.log";
    const std::string registry = TemporaryRegistry();
    if (registry.empty()) {
        std::fprintf(stderr, "quvo demo: cannot make a temporary registry\n");
        return kExitFailure;
    }

    QVO::Sim::VirtualPrinter device(QVO::Sim::PrinterIdentity::ForModel("TM-T88IV"));
    QVO::Sim::TcpServer server(device, 0);
    std::string error;
    if (!device.OpenLog(log) || !server.Start(&error)) {
        std::fprintf(stderr, "quvo demo: virtual printer did not start: %s\n", error.c_str());
        return kExitFailure;
    }
    std::printf("Virtual printer (TM-T88IV) listening on 127.0.0.1:%u\n", server.Port());
    bool ok = RegisterAndConfigure(server.Port());
    if (ok)
        std::printf("Service object registered; entries %ls and %ls written to %s\n", kPrinterName, kDrawerName,
                    registry.c_str());
    {
        EventPrinter events;
        Opos::CPosPrinterControl printer;
        Opos::CCashDrawerControl drawer;
        Listen(printer, events, "printer", &PrinterStatusName);
        Listen(drawer, events, "drawer", &DrawerStatusName);
        ok = ok && Ready(printer, kPrinterName) && PrintReceipt(printer, events) && ShowFaults(device, events) &&
             Ready(drawer, kDrawerName) && KickDrawer(device, drawer, events);
        drawer.Close();
        printer.Close();
    }
    server.Stop();
    device.EndOfStream();
    std::filesystem::remove_all(registry, ec);
    if (!device.WritePng(png)) {
        std::fprintf(stderr, "quvo demo: cannot write %s\n", png.c_str());
        return kExitFailure;
    }
    std::printf("The paper: %s\nThe decoded commands: %s\n", png.c_str(), log.c_str());
    return ok ? kExitOk : kExitFailure;
}

QVO::Tools::CommandRegistration registration{"demo", "print a sample receipt through the POSPrinter control object",
                                             &RunDemo};

}  // namespace
