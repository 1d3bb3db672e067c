// Byte-literal helpers shared by the virtual printer's tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace QVO::Sim::TestUtil {

using Bytes = std::vector<uint8_t>;

// Bytes from numbers: B({0x1B, 0x40}).
inline Bytes B(std::initializer_list<int> v) {
    Bytes out;
    for (int b : v) out.push_back(uint8_t(b));
    return out;
}

// Bytes of a text: S("Total").
inline Bytes S(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace QVO::Sim::TestUtil

// The tests of the printer live in QVO::Sim and use the helpers unqualified.
namespace QVO::Sim {
using TestUtil::B;
using TestUtil::Bytes;
using TestUtil::Cat;
using TestUtil::S;
}  // namespace QVO::Sim
