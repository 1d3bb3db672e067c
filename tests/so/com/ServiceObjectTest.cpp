// The service object end to end: control object, COM runtime, libQUVOSO.so, TCP port, virtual
// printer.
#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "tests/so/com/SoTestSupport.h"

namespace QVO::Test {
namespace {

using namespace QVO::Opos;

TEST_F(ServiceObjectTest, PrintsAsynchronouslyAndReportsCompletion) {
    CPosPrinterControl printer;
    EventLog events;
    RecordEvents(printer, events);
    ASSERT_TRUE(Ready(printer, PrinterName()));
    ASSERT_EQ(printer.SetAsyncMode(true), OPOS_SUCCESS);
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"Hello\n"), OPOS_SUCCESS);
    const int32_t id = printer.GetOutputID();
    EXPECT_GT(id, 0);
    EXPECT_TRUE(events.WaitFor("Output " + std::to_string(id))) << events.Text();
    EXPECT_TRUE(PrinterShows("text \"Hello\""));
    EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
}

}  // namespace
}  // namespace QVO::Test
