// print_receipt: what a point-of-sale application does with a receipt printer and its cash
// drawer. It opens the printer by its logical name, prints a receipt asynchronously, waits for
// the printer to report it done, answers a printer error with retry, then opens the drawer.
//
//   print_receipt PRINTER [DRAWER]      e.g. print_receipt FrontCounter FrontDrawer
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "constants/OposCashConstants.h"
#include "constants/OposPtrConstants.h"
#include "opos/CashDrawerControl.h"
#include "opos/PosPrinterControl.h"

namespace {

using namespace QVO::Opos;

constexpr int32_t kClaimTimeoutMs = 3000;
constexpr auto kPrintTimeout = std::chrono::seconds(30);
constexpr int kMaxRetries = 5;
constexpr auto kRetryPause = std::chrono::seconds(1);

// OutputComplete and ErrorEvent arrive on the control object's event thread; the
// application's thread waits here for the output it is interested in. It outlives the control
// object, so no handler can reach it after it is gone.
class OutputWaiter {
public:
    // Whether to retry once more; counts the tries.
    bool MayRetry() {
        std::lock_guard lock(mutex_);
        return ++retries_ <= kMaxRetries;
    }
    void Completed(int32_t outputId) {
        std::lock_guard lock(mutex_);
        lastCompleted_ = outputId;
        changed_.notify_all();
    }
    void GaveUp() {
        std::lock_guard lock(mutex_);
        gaveUp_ = true;
        changed_.notify_all();
    }
    // Asynchronous outputs complete in order, so reaching `outputId` means every earlier one is done.
    bool WaitFor(int32_t outputId) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPrintTimeout, [&] { return gaveUp_ || lastCompleted_ >= outputId; }) &&
               !gaveUp_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int32_t lastCompleted_ = 0;
    int retries_ = 0;
    bool gaveUp_ = false;
};

std::wstring Widen(const char* text) { return std::wstring(text, text + std::strlen(text)); }

bool Ok(const char* step, int32_t result, CControlObject& device) {
    if (result == OPOS_SUCCESS) return true;
    std::fprintf(stderr, "print_receipt: %s failed: ResultCode %d, extended %d\n", step, result,
                 device.GetResultCodeExtended());
    return false;
}

bool OpenClaimEnable(CControlObject& device, const char* name) {
    return Ok("Open", device.Open(Widen(name)), device) &&
           Ok("ClaimDevice", device.ClaimDevice(kClaimTimeoutMs), device) &&
           Ok("DeviceEnabled", device.SetDeviceEnabled(true), device);
}

bool PrintReceipt(CPosPrinterControl& printer, OutputWaiter& waiter) {
    printer.SetOutputCompleteEventHandler([&](int32_t id) { waiter.Completed(id); });
    // Cover open, paper out or the printer switched off: the output waits at the head of the
    // queue. Retry writes it again once the printer is back; after a few tries, clear it.
    printer.SetErrorEventHandler([&](int32_t rc, int32_t extended, int32_t, int32_t& response) {
        std::fprintf(stderr, "print_receipt: printer error %d/%d\n", rc, extended);
        if (waiter.MayRetry()) {
            std::this_thread::sleep_for(kRetryPause);
            response = OPOS_ER_RETRY;
        } else {
            response = OPOS_ER_CLEAR;
            waiter.GaveUp();
        }
    });
    if (!Ok("AsyncMode", printer.SetAsyncMode(true), printer)) return false;
    // A model that cannot queue output stays synchronous: each call returns once it is printed.
    const bool async = printer.GetAsyncMode();
    const wchar_t* receipt =
        L"\x1b|cA\x1b|bC\x1b|2CQUVO Coffee\n"
        L"\x1b|cA12 Harbour Street\n\n"
        L"Flat white                 3.40\n"
        L"Croissant                  2.10\n"
        L"\x1b|bCTotal                      5.50\n\n";
    if (!Ok("PrintNormal", printer.PrintNormal(PTR_S_RECEIPT, receipt), printer)) return false;
    // Not every model has a cutter: ask before cutting.
    if (printer.GetCapRecPapercut() && !Ok("CutPaper", printer.CutPaper(90), printer)) return false;
    const int32_t lastOutput = printer.GetOutputID();  // the last output queued
    if (async && !waiter.WaitFor(lastOutput)) {
        std::fprintf(stderr, "print_receipt: the receipt was not printed\n");
        return false;
    }
    if (async)
        std::printf("Receipt printed (outputs up to %d complete)\n", lastOutput);
    else
        std::printf("Receipt printed (synchronously)\n");
    return true;
}

bool KickDrawer(const char* name) {
    CCashDrawerControl drawer;
    const bool ok = OpenClaimEnable(drawer, name) && Ok("OpenDrawer", drawer.OpenDrawer(), drawer);
    if (ok) std::printf("Drawer opened\n");
    drawer.Close();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || !std::strcmp(argv[1], "--help")) {
        std::fprintf(argc < 2 || argc > 3 ? stderr : stdout,
                     "Usage: print_receipt PRINTER [DRAWER]\n"
                     "Prints a sample receipt on the POSPrinter PRINTER (a logical name), waits until\n"
                     "it is printed, then opens the CashDrawer DRAWER if one is given.\n"
                     "Exit status: 0 done, 1 failed, 2 bad command line.\n");
        return argc < 2 || argc > 3 ? 2 : 0;
    }
    OutputWaiter waiter;
    CPosPrinterControl printer;
    bool ok = OpenClaimEnable(printer, argv[1]) && PrintReceipt(printer, waiter);
    printer.Close();
    if (ok && argc == 3) ok = KickDrawer(argv[2]);
    return ok ? 0 : 1;
}
