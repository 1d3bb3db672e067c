// The last failure caught on a worker thread, and the one helper that catches and records it.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "platform/sync/Mutex.h"

namespace QVO::BASE {

// Text of the last exception caught; empty while nothing failed.
// Thread safety: Record and Text may be called from any thread. The lock is innermost.
class LastError {
public:
    // Never throws: it runs inside catch handlers on the worker, where nothing may escape.
    // A text that cannot be stored is recorded as kNoMemoryText, so the failure still shows.
    void Record(const char* text) noexcept {
        Platform::MutexLock lock(mutex_);
        try {
            text_ = text;
        } catch (...) {
            text_.assign(kNoMemoryText);  // shorter than any string's own capacity: no allocation
        }
    }
    std::string Text() const {
        Platform::MutexLock lock(mutex_);
        return text_;
    }

private:
    static constexpr const char* kNoMemoryText = "(no memory)";
    mutable Platform::Mutex mutex_;
    std::string text_ QUVO_GUARDED_BY(mutex_);
};

// The text recorded for an exception that is not a std::exception.
inline std::string NonStandardExceptionText(const char* where) {
    return std::string("non-standard exception ") + where;
}

// Runs work(). If it throws, the exception is caught and recorded in `errors` (a
// std::exception by its what(), anything else as a non-standard exception `where`, e.g.
// "from a task"), and the answer is false. Nothing escapes: worker threads must not end the
// process.
template <class Work>
bool CatchAndRecord(LastError& errors, const char* where, Work&& work) noexcept {
    try {
        std::forward<Work>(work)();
        return true;
    } catch (const std::exception& error) {
        errors.Record(error.what());
    } catch (...) {
        try {
            errors.Record(NonStandardExceptionText(where).c_str());
        } catch (...) {
            errors.Record("non-standard exception");
        }
    }
    return false;
}

}  // namespace QVO::BASE
