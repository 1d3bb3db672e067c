// Port error codes and texts, and the one place that puts a system error into a text.
#pragma once

#include <cstdint>
#include <string>

namespace QVO::IO {

// Port error code of a connection the TCP/IP port could not make or remake.
inline constexpr int32_t kPortConnectError = 2501;

inline constexpr wchar_t kConnectFailText[] = L"*Connect Fail! WSAGetLastError:%d";
inline constexpr wchar_t kWriteReconnectFailText[] = L"WriteData reconnect Fail! WSAGetLastError:%d";
inline constexpr wchar_t kSerialTimeoutsFailText[] =
    L"SerialPort::SetupTimeouts - Unable to obtain timeout information. ErrorCode:%d(%2X)";
inline constexpr wchar_t kSerialLineFailText[] = L"SerialPort::SetupPort - Unable to apply line settings. ErrorCode:%d(%2X)";

// Longest port error text, terminator included.
inline constexpr size_t kErrorTextChars = 255;

// Fills the format's %d (and %X, if present) with the errno value `systemError`. The
// texts name the socket library's error call for compatibility with logs and tools that
// expect them; on this system the number is the errno value. Cut to kErrorTextChars - 1.
std::wstring FormatPortError(const wchar_t* format, int systemError);

}  // namespace QVO::IO
