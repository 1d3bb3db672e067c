// Table-driven checks of builder operations: each case runs one operation through the
// interface on an empty buffer and compares its result and bytes.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "CmdExpect.h"
#include "so/cmd/ICmdHelper.h"

namespace QVO::Printer::TestTrace {

struct OpCase {
    const char* name;
    std::function<bool(ICmdHelper&, PrinterBuffer&)> op;
    bool result;           // what the operation returns (true for operations without a check)
    const char* expected;  // the bytes appended, as hex
};

// Wraps an operation that returns nothing.
template <typename F>
std::function<bool(ICmdHelper&, PrinterBuffer&)> Do(F f) {
    return [f](ICmdHelper& h, PrinterBuffer& b) {
        f(h, b);
        return true;
    };
}

// Runs every case on a buffer that already holds a marker byte, so an operation that touches
// existing content or refuses but still appends shows up.
inline void RunCases(ICmdHelper& helper, std::span<const OpCase> cases) {
    for (const OpCase& c : cases) {
        SCOPED_TRACE(c.name);
        PrinterBuffer buffer(32, 32);
        buffer.Append(uint8_t{0xEE});
        EXPECT_EQ(c.op(helper, buffer), c.result);
        ASSERT_FALSE(buffer.IsEmpty());
        EXPECT_EQ(buffer[0], 0xEE) << "existing content was changed";
        PrinterBuffer appended(32, 32);
        appended.Append(buffer.Data() + 1, buffer.Size() - 1);
        EXPECT_TRUE(BytesAre(appended, c.expected));
    }
}

inline std::vector<uint8_t> Filled(size_t count, uint8_t value = 'A') { return std::vector<uint8_t>(count, value); }

inline std::span<const uint8_t> Text(const char* text) {
    return {reinterpret_cast<const uint8_t*>(text), std::char_traits<char>::length(text)};
}

}  // namespace QVO::Printer::TestTrace
