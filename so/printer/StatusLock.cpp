// The process-wide status lock.
#include "so/printer/StatusLock.h"

namespace QVO::Printer {

Platform::Mutex& StatusLock() {
    static Platform::Mutex lock;
    return lock;
}

}  // namespace QVO::Printer
