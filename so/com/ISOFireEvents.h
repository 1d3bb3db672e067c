// What a queued event task asks of the service object that queued it.
#pragma once

#include <cstdint>

#include "platform/com/ComBase.h"

namespace QVO::SO {

// Event kinds, also the index into a printer client's event DISPIDs.
enum EventKind : int32_t {
    kEventDirectIO = 0,
    kEventError = 1,
    kEventOutputComplete = 2,
    kEventStatusUpdate = 3,
};

// Implemented by the service object; called on its event thread. Slots in this fixed order.
class ISOFireEvents {
public:
    // Delivers one event to every enabled, unfrozen client. `args` in the order of the
    // control object's event method. Returns 0 when the event was dropped (firing stopped).
    virtual int32_t Fire(VARIANT* args, int32_t count, int32_t kind, int32_t* result) = 0;
    // The application answered an error event with "clear".
    virtual void Clear() = 0;
    // The application answered an error event with "retry".
    virtual void Retry() = 0;

protected:
    ~ISOFireEvents() = default;
};

}  // namespace QVO::SO
