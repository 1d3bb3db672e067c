// GoogleTest assertion that compares built command bytes with expected hex, showing traces.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "CmdTrace.h"
#include "so/cmd/PrinterBuffer.h"

namespace QVO::Printer::TestTrace {

inline ::testing::AssertionResult BytesAre(const PrinterBuffer& buffer, std::string_view expectedHex) {
    const auto expected = FromHex(expectedHex);
    const auto actual = buffer.Bytes();
    if (actual.size() == expected.size() && std::equal(actual.begin(), actual.end(), expected.begin()))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\n  built:    " << Hex(actual) << "\n            " << Trace(actual)
                                         << "\n  expected: " << Hex(expected) << "\n            " << Trace(expected);
}

}  // namespace QVO::Printer::TestTrace
