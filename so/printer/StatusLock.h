// The process-wide status lock: one status dialogue with any printer at a time.
#pragma once

#include "platform/sync/Mutex.h"

namespace QVO::Printer {

// Real-time status and drawer queries of every engine in the process hold it for the whole
// dialogue. Lock order: taken before a port holder's lock, never after it.
Platform::Mutex& StatusLock();

}  // namespace QVO::Printer
