// CPrinterCOEventsTask: firing one event and the follow-up of an error event.
#include "so/com/CPrinterCOEventsTask.h"

#include <algorithm>
#include <memory>

#include "constants/OposConstants.h"

namespace QVO::SO {

CPrinterCOEventsTask::CPrinterCOEventsTask(ISOFireEvents* target, int32_t kind, const VARIANT* args, int32_t count)
    : kind_(kind), target_(target), count_(std::clamp(count, 0, kMaxArgs)) {
    for (int32_t i = 0; i < count_; ++i) {
        VariantInit(&args_[size_t(i)]);
        VariantCopy(&args_[size_t(i)], &args[i]);
    }
}

CPrinterCOEventsTask::~CPrinterCOEventsTask() {
    for (int32_t i = 0; i < count_; ++i) VariantClear(&args_[size_t(i)]);
}

std::unique_ptr<CPrinterCOEventsTask> CPrinterCOEventsTask::Error(ISOFireEvents* target, int32_t resultCode,
                                                                  int32_t extended) {
    VARIANT args[3];
    for (VARIANT& v : args) {
        VariantInit(&v);
        v.vt = VT_I4;
    }
    args[0].lVal = resultCode;
    args[1].lVal = extended;
    args[2].lVal = Opos::OPOS_EL_OUTPUT;
    auto task = std::make_unique<CPrinterCOEventsTask>(target, kEventError, args, 3);
    // The response travels by reference so that the application's answer comes back here.
    task->errorResponse_ = Opos::OPOS_ER_RETRY;
    VARIANT& response = task->args_[3];
    VariantInit(&response);
    response.vt = VT_BYREF | VT_I4;
    response.plVal = &task->errorResponse_;
    task->count_ = 4;
    return task;
}

std::unique_ptr<CPrinterCOEventsTask> CPrinterCOEventsTask::OneLong(ISOFireEvents* target, int32_t kind,
                                                                    int32_t value) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = value;
    return std::make_unique<CPrinterCOEventsTask>(target, kind, &arg, 1);
}

int32_t CPrinterCOEventsTask::Execute() {
    int32_t result = 0;
    const int32_t fired = target_->Fire(args_.data(), count_, kind_, &result);
    if (fired != 0 && kind_ == kEventError && !IsCancelled()) FollowUpError();
    // A dropped or undeliverable event is not a failure of the queue: later events still go.
    return 1;
}

void CPrinterCOEventsTask::FollowUpError() {
    if (errorResponse_ == Opos::OPOS_ER_CLEAR)
        target_->Clear();
    else if (errorResponse_ == Opos::OPOS_ER_RETRY)
        target_->Retry();
}

}  // namespace QVO::SO
