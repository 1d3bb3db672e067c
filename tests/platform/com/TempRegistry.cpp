// The test program's temporary registry directory, set up during static initialisation.
#include "tests/platform/com/TempRegistry.h"

namespace QVO::Test {

namespace {
TempRegistry g_registry;
}

TempRegistry& TheTempRegistry() { return g_registry; }

}  // namespace QVO::Test
