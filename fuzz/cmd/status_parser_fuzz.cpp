// Feeds arbitrary printer replies to the status parsers and comparisons of both builders and
// checks what they decode against the reply bits.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "so/cmd/CCmdHelperBase.h"
#include "so/cmd/CmdHelper_RX4270.h"

using QVO::Printer::CCmdHelperBase;
using QVO::Printer::CmdHelper_RX4270;
using QVO::Printer::ICmdHelper;
using QVO::Printer::tagPrinterStatus;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckAutoStatus(ICmdHelper& helper, std::span<const uint8_t, 4> block) {
    tagPrinterStatus record{};
    const bool valid = helper.ParseAutoStatus(block, &record);
    const bool expected = (block[0] & 0x93) == 0x10 && !(block[1] & 0x90) && !(block[2] & 0x90) && !(block[3] & 0x90);
    Check(valid == expected);
    Check(helper.ParseAutoStatus(block, nullptr) == valid);
    if (!valid) return;
    Check(record.drawerSignal == (block[0] & 0x04));
    Check(record.offline == (block[0] & 0x08));
    Check(record.coverOpen == (block[0] & 0x20));
    Check((record.paperNearEnd != 0) == ((block[2] & 0x03) == 0x03));
    Check((record.paperEnd != 0) == ((block[2] & 0x0C) == 0x0C));
    Check(record.drawerOpen == 0);
}

void CheckReplyByte(ICmdHelper& helper, uint8_t reply) {
    tagPrinterStatus record{};
    const bool realTime = (reply & 0x12) == 0x12;
    Check(helper.ParsePrinterStatusByte(reply, &record) == realTime);
    Check(helper.ParseOfflineStatusByte(reply, &record) == realTime);
    Check(helper.ParsePaperStatusByte(reply, &record) == realTime);
    Check(helper.ParsePaperSensorByte(reply, nullptr));
    int32_t drawer = -1;
    Check(helper.ParseDrawerByte(reply, &drawer) && drawer == (reply & 0x01));
}

// Repeated comparison must settle: each call takes over one field, so a block with at most
// four fields settles within four calls, after which the next call reports nothing.
void CheckComparison(ICmdHelper& helper, std::array<uint8_t, 4> fresh, std::array<uint8_t, 4> stored) {
    int calls = 0;
    while (helper.CompareAutoStatus(fresh, stored) != 0) Check(++calls <= 4);
    uint8_t storedByte = stored[0];
    for (const int32_t kind : {2, 4}) {
        int byteCalls = 0;
        while (helper.CompareStatusByte(fresh[1], storedByte, kind) != 0) Check(++byteCalls <= 2);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CCmdHelperBase base;
    CmdHelper_RX4270 variant;
    for (ICmdHelper* helper : {static_cast<ICmdHelper*>(&base), static_cast<ICmdHelper*>(&variant)}) {
        for (size_t i = 0; i + 4 <= size; ++i) {
            const std::span<const uint8_t, 4> block(data + i, 4);
            CheckAutoStatus(*helper, block);
            if (i + 8 <= size) {
                std::array<uint8_t, 4> fresh{}, stored{};
                std::copy(data + i, data + i + 4, fresh.begin());
                std::copy(data + i + 4, data + i + 8, stored.begin());
                CheckComparison(*helper, fresh, stored);
            }
        }
        for (size_t i = 0; i < size; ++i) CheckReplyByte(*helper, data[i]);
    }
    return 0;
}
