// The engine's timed reads of the printer's answers, against the virtual printer's real
// answers: up to an end marker, between a start and an end marker, and a fixed count.
#include "constants/OposConstants.h"
#include "tests/so/printer/EngineTestSupport.h"

namespace QVO::Printer::Test {
namespace {

constexpr uint8_t kInfoStart = '_';
constexpr uint8_t kInfoEnd = 0x00;

PrinterBuffer Request(std::initializer_list<uint8_t> bytes) {
    PrinterBuffer b;
    for (uint8_t byte : bytes) b.Append(byte);
    return b;
}

std::string Text(const uint8_t* bytes, int32_t count) {
    return std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
}

// Claimed but not enabled: no status poll competes for the answers.
TEST_F(EngineOnVirtualPrinter, AnswersAreReadUpToTheirMarkersOrTheirLength) {
    Open();
    int32_t rc = 0;  // the claim acts only on a zeroed result, as the dispatch layer hands it
    engine_->ClaimDevice(1000, &rc);
    ASSERT_EQ(rc, 0);
    uint8_t reply[64] = {};
    int32_t count = -1;

    PrinterBuffer maker = Request({0x1D, 'I', 66});
    ASSERT_EQ(engine_->SendAndReadString(maker, reply, sizeof reply, &count, kInfoStart, kInfoEnd), 0);
    EXPECT_EQ(Text(reply, count), "QUVO") << "the markers are not stored";

    maker = Request({0x1D, 'I', 66});
    ASSERT_EQ(engine_->SendAndReadString(maker, reply, sizeof reply, &count, kInfoEnd), 0);
    EXPECT_EQ(Text(reply, count), "_QUVO") << "only the end marker ends the answer";

    maker = Request({0x1D, 'I', 66});
    ASSERT_EQ(engine_->SendAndReadString(maker, reply, 3, &count, kInfoEnd), 0);
    EXPECT_EQ(Text(reply, count), "_QU") << "never more than the room given";

    // A status byte has no marker: it is read by count.
    ASSERT_EQ(engine_->SendBytes(std::string("\x10\x04\x01", 3)), 0);
    ASSERT_EQ(engine_->ReadData(reply, 0, 1, &count, 2000), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(reply[0] & 0x93, 0x12) << "a real-time status byte has its fixed bits";
}

// A printer that does not answer: the read stores nothing and says the printer is offline.
TEST_F(EngineOnVirtualPrinter, SilentPrinterEndsTheReadEmpty) {
    Open();
    int32_t rc = 0;  // the claim acts only on a zeroed result, as the dispatch layer hands it
    engine_->ClaimDevice(1000, &rc);
    ASSERT_EQ(rc, 0);
    printer_.SetMute(true);
    uint8_t reply[8] = {};
    int32_t count = -1;
    PrinterBuffer maker = Request({0x1D, 'I', 66});
    EXPECT_EQ(engine_->SendAndReadString(maker, reply, sizeof reply, &count, kInfoEnd), Opos::OPOS_E_OFFLINE);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(engine_->ReadData(reply, 0, 1, &count, 300), Opos::OPOS_E_OFFLINE);
    EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace QVO::Printer::Test
