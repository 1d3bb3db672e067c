// Port error codes and texts, and the one place that puts a system error into a text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace QVO::IO {

// Port error code of a connection the TCP/IP port could not make or remake (the address
// did not resolve, the connect failed, the reconnect during a write failed).
inline constexpr int32_t kPortConnectError = 2501;
// Exclusive use of a network printer could not be had: another port holds it, or the
// lock directory or lock file cannot be used.
inline constexpr int32_t kPortLockError = 2502;
// A write that did not go out whole: the printer took no byte for the write time-out, the
// write failed, was cancelled, or the port is not open.
inline constexpr int32_t kPortWriteError = 2503;

// Longest port error text, terminator included.
inline constexpr size_t kErrorTextChars = 255;

// "<what>: <the system's text for systemError> (error <n>)"; the number is the errno value.
// Cut to kErrorTextChars - 1.
std::wstring FormatPortError(std::wstring_view what, int systemError);

// "<what>: <detail>", cut to kErrorTextChars - 1 (for failures without an errno).
std::wstring PortErrorText(std::wstring_view what, std::wstring_view detail = {});

// "<what>; <sent> of <total> bytes sent" for a write that went out in part or not at all.
std::wstring WithBytesSent(std::wstring_view what, size_t sent, size_t total);

}  // namespace QVO::IO
