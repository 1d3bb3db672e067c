// One event queued for the service object's event thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "platform/com/ComBase.h"
#include "so/base/TaskInterfaces.h"
#include "so/com/ISOFireEvents.h"

namespace QVO::SO {

// Owns copies of its arguments (text arguments duplicated). Executed on the event thread:
// fires the event and, for an error event that was not cancelled, acts on the response the
// application left in the by-reference ErrorResponse argument.
class CPrinterCOEventsTask final : public BASE::CTaskBase {
public:
    static constexpr int32_t kMaxArgs = 7;

    // Copies `count` (at most kMaxArgs) arguments.
    CPrinterCOEventsTask(ISOFireEvents* target, int32_t kind, const VARIANT* args, int32_t count);
    ~CPrinterCOEventsTask() override;

    int32_t Execute() override;
    int32_t Kind() const { return kind_; }

    // An error event: ResultCode, ResultCodeExtended, ErrorLocus and ErrorResponse (by
    // reference; starts as OPOS_ER_RETRY).
    static std::unique_ptr<CPrinterCOEventsTask> Error(ISOFireEvents* target, int32_t resultCode, int32_t extended);
    // An event with one long argument (output complete, status update).
    static std::unique_ptr<CPrinterCOEventsTask> OneLong(ISOFireEvents* target, int32_t kind, int32_t value);

private:
    void FollowUpError();

    const int32_t kind_;
    std::array<VARIANT, kMaxArgs> args_{};
    ISOFireEvents* const target_;
    int32_t count_ = 0;
    // The error response the control object may change (the by-reference argument points here).
    LONG errorResponse_ = 0;
};

}  // namespace QVO::SO
