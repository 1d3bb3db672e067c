// A client that knows only the COM binary standard drives a registered server.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "platform/com/ComRuntime.h"
#include "platform/text/TextConv.h"
#include "tests/platform/com/TempRegistry.h"
#include "tests/platform/com/TestServerIds.h"

extern "C" int run_abi_client(const char* runtimePath, const char* serverPath, char* message, size_t messageSize);

using namespace QVO::Platform::Com;
using QVO::Platform::Text::Utf8ToWide;
using QVO::Platform::Text::WideToUtf8;

namespace {

TEST(ComAbiClient, PlainCClientCreatesAndInvokesARegisteredServer) {
    void* module = dlopen(QUVO_TEST_SERVER, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr);
    auto registerServer = reinterpret_cast<PFN_DllRegisterServer>(dlsym(module, "DllRegisterServer"));
    ASSERT_NE(registerServer, nullptr);
    ASSERT_EQ(registerServer(), S_OK);
    dlclose(module);

    // The client takes the server from the registration, as any client would.
    const std::string server = WideToUtf8(InprocServerPath(QVO::Test::CLSID_TestEcho));
    ASSERT_FALSE(server.empty());
    char message[256];
    EXPECT_EQ(run_abi_client(QUVO_PLATFORM_LIB, server.c_str(), message, sizeof message), 0) << message;
}

}  // namespace
