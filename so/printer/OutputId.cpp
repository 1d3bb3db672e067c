// The output ID counter: one atomic shared by every engine in the process.
#include "so/printer/OutputId.h"

#include <atomic>

namespace QVO::Printer {

namespace {
std::atomic<int32_t> g_outputId{0};
}  // namespace

// The ID is the counter plus one; past kOutputIdWrapAbove the counter restarts at 1 while the
// caller still gets the value past the limit (..., 2147483645, 2147483646, 2, 3, ...).
int32_t NextOutputId() {
    int32_t current = g_outputId.load();
    for (;;) {
        const int32_t id = current + 1;
        const int32_t stored = id > kOutputIdWrapAbove ? 1 : id;
        if (g_outputId.compare_exchange_weak(current, stored)) return id;
    }
}

int32_t CurrentOutputId() { return g_outputId.load(); }

void ResetOutputIds(int32_t value) { g_outputId.store(value); }

}  // namespace QVO::Printer
