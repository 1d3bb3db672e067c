// The process-wide output ID counter that numbers asynchronous output across all engines.
#pragma once

#include <cstdint>

namespace QVO::Printer {

// The largest ID handed out before the counter wraps; after 2147483646 the next ID is 2.
inline constexpr int32_t kOutputIdWrapAbove = 2147483645;

// Takes the next output ID (1, 2, 3, ...). Atomic: engines on different threads never get
// the same ID.
int32_t NextOutputId();
// The ID handed out last (the OPOS OutputID property); 0 before the first.
int32_t CurrentOutputId();
// Back to 0, as every output context's Init does (tests may start elsewhere, near the wrap).
void ResetOutputIds(int32_t value = 0);

}  // namespace QVO::Printer
