// Helpers shared by the virtual printer's tests: byte literals and waiting with a deadline.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace QVO::Sim::TestUtil {

using Bytes = std::vector<uint8_t>;

inline Bytes B(std::initializer_list<int> v) {
    Bytes out;
    for (int b : v) out.push_back(uint8_t(b));
    return out;
}

inline Bytes S(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Polls cond until it holds or the deadline passes; the result says which.
inline bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return cond();
}

}  // namespace QVO::Sim::TestUtil
