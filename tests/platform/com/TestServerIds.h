// Identity of the test in-process server (shared by the tests and the server module).
#pragma once

#include "platform/com/ComBase.h"

namespace QVO::Test {

// {5A1C0F3E-8B2D-4C61-9E7A-3D0B6F1A2C41}
constexpr CLSID CLSID_TestEcho = {0x5A1C0F3E, 0x8B2D, 0x4C61, {0x9E, 0x7A, 0x3D, 0x0B, 0x6F, 0x1A, 0x2C, 0x41}};
// {5A1C0F3E-8B2D-4C61-9E7A-3D0B6F1A2C42}
constexpr GUID LIBID_TestEcho = {0x5A1C0F3E, 0x8B2D, 0x4C61, {0x9E, 0x7A, 0x3D, 0x0B, 0x6F, 0x1A, 0x2C, 0x42}};
// {5A1C0F3E-8B2D-4C61-9E7A-3D0B6F1A2C43}
constexpr IID IID_ITestEcho = {0x5A1C0F3E, 0x8B2D, 0x4C61, {0x9E, 0x7A, 0x3D, 0x0B, 0x6F, 0x1A, 0x2C, 0x43}};
constexpr const wchar_t* kTestEchoProgId = L"QuvoTest.Echo.3";
constexpr const wchar_t* kTestEchoVersionIndependentProgId = L"QuvoTest.Echo";

// DISPIDs of the echo object's members.
constexpr DISPID DISPID_Subtract = 1;       // Subtract(long a, long b) -> a - b
constexpr DISPID DISPID_Concat = 2;         // Concat(BSTR a, BSTR b) -> BSTR
constexpr DISPID DISPID_AppendRef = 3;      // AppendRef(BSTR* s, BSTR suffix): *s += suffix
constexpr DISPID DISPID_DoubleRef = 4;      // DoubleRef(long* p): *p *= 2
constexpr DISPID DISPID_BoolToLong = 5;     // BoolToLong(VARIANT_BOOL b) -> b
constexpr DISPID DISPID_ResultOnEntry = 6;  // ResultOnEntry() -> the result slot's value on entry + 1000
constexpr DISPID DISPID_Value = 7;          // property Value (long), get and put
constexpr DISPID DISPID_Throw = 8;          // Throw(): throws
constexpr DISPID DISPID_CallBack = 9;       // CallBack(IDispatch* target, BSTR name) -> target.name()

}  // namespace QVO::Test
