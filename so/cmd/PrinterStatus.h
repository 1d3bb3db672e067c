// The decoded printer state that the status parsers fill in.
#pragma once

#include <cstdint>

namespace QVO::Printer {

// Six flags, non-zero meaning true. A parser stores the masked bits, so a set flag may hold a
// value other than 1. Plain value type: copy freely; no thread safety of its own.
struct tagPrinterStatus {
    int32_t drawerSignal = 0;  // level of the drawer kick-out connector input
    int32_t drawerOpen = 0;    // derived by the engine, never by a parser
    int32_t offline = 0;
    int32_t coverOpen = 0;
    int32_t paperNearEnd = 0;
    int32_t paperEnd = 0;
};

}  // namespace QVO::Printer
