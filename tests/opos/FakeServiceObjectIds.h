// Identity and switches of the fake service object used by the control-object tests.
#pragma once

#include "platform/com/ComBase.h"

namespace QVO::Test {

enum class FakeKind { Good, OldVersion, FailOpen, FailSilently, Incomplete, Legacy, NoCreate };

struct FakeClass {
    FakeKind kind;
    CLSID clsid;
    const wchar_t* progId;  // version-independent; the versioned one adds ".1"
};

constexpr FakeClass kFakeClasses[] = {
    {FakeKind::Good, {0x7E3B2A10, 0x1C4D, 0x4F5E, {0x8A, 0x9B, 0, 0, 0, 0, 0, 1}}, L"QuvoFake.Printer"},
    {FakeKind::OldVersion, {0x7E3B2A10, 0x1C4D, 0x4F5E, {0x8A, 0x9B, 0, 0, 0, 0, 0, 2}}, L"QuvoFake.OldVersion"},
    {FakeKind::FailOpen, {0x7E3B2A10, 0x1C4D, 0x4F5E, {0x8A, 0x9B, 0, 0, 0, 0, 0, 3}}, L"QuvoFake.FailOpen"},
    {FakeKind::FailSilently, {0x7E3B2A10, 0x1C4D, 0x4F5E, {0x8A, 0x9B, 0, 0, 0, 0, 0, 4}}, L"QuvoFake.FailSilently"},
    {FakeKind::Incomplete, {0x7E3B2A10, 0x1C4D, 0x4F5E, {0x8A, 0x9B, 0, 0, 0, 0, 0, 5}}, L"QuvoFake.Incomplete"},
    {FakeKind::Legacy, {0x7E3B2A10, 0x1C4D, 0x4F5E, {0x8A, 0x9B, 0, 0, 0, 0, 0, 6}}, L"QuvoFake.Legacy"},
    {FakeKind::NoCreate, {0x7E3B2A10, 0x1C4D, 0x4F5E, {0x8A, 0x9B, 0, 0, 0, 0, 0, 7}}, L"QuvoFake.NoCreate"},
};

// DirectIO commands that make the fake fire an event from its own thread (data and string are
// passed through); any other command doubles the data and appends "!" to the string.
constexpr LONG kFireStatusUpdate = 1;    // SOStatusUpdate(data)
constexpr LONG kFireError = 2;           // SOError(114, 201, 1, &response); data = response
constexpr LONG kFireOutputComplete = 3;  // SOOutputComplete(data)
constexpr LONG kFireDirectIO = 4;        // SODirectIO(7, &data, &string)
// SOStatusUpdate(data) from an event thread that is not waited for: DirectIO returns at once
// and the delivery may outlast CloseService. The test joins it (FakeSO_JoinLateEvents).
constexpr LONG kFireStatusUpdateLate = 5;

}  // namespace QVO::Test
