// The one deadline wait of the tests: poll a condition until it holds or time runs out.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace QVO::Test {

// Checks `condition` every millisecond until it holds (true) or `timeout` has passed (false).
// Tests wait for what they need this way, never with a bare sleep; the generous default
// only matters on a failing or very loaded run.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace QVO::Test
