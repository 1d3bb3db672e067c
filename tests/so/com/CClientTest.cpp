// A plain-C application (so_c_client, its own process) prints through the registered service
// object: the COM binary standard, the event receiver contract and unloading, seen from C.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/UniqueFd.h"
#include "tests/so/com/SoTestSupport.h"

extern char** environ;

namespace QVO::Test {
namespace {

struct ProcessResult {
    int exitCode = -1;  // -1: did not exit normally
    std::string output;
};

// Runs `argv` with this process's environment, stdout and stderr collected together.
ProcessResult RunProcess(const std::vector<std::string>& args) {
    ProcessResult result;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return result;
    Platform::UniqueFd readEnd(fds[0]);
    Platform::UniqueFd writeEnd(fds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    if (spawned != 0) {
        result.output = "spawn failed: " + std::string(strerror(spawned));
        return result;
    }
    char buffer[4096];
    for (ssize_t n; (n = read(readEnd.get(), buffer, sizeof buffer)) != 0;) {
        if (n > 0)
            result.output.append(buffer, size_t(n));
        else if (errno != EINTR)
            break;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

class CClientTest : public ServiceObjectTest {};

// A client that knows only the binary standard: creation by ProgID, DISPIDs by name, an event
// receiver of its own answering the event names, OutputComplete for the OutputID it read,
// no reference kept on its receiver, and the module unloaded after the last release.
TEST_F(CClientTest, PlainCClientPrintsAsynchronouslyAndUnloadsTheModule) {
    ASSERT_NE(getenv("QUVO_REGISTRY_DIR"), nullptr);
    ASSERT_NE(getenv("QUVO_LOCK_DIR"), nullptr);
    const std::string text = "Printed from C";
    const ProcessResult run =
        RunProcess({QUVO_C_CLIENT, Platform::Text::WideToUtf8(PrinterName()), text + "\n", QUVO_SO_PATH});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(PrinterShows("text \"" + text + "\"")) << run.output;
    EXPECT_EQ(TraceCount("text \"" + text + "\""), 1u);
}

// The same client against an entry that does not exist stops at OpenService and says so.
TEST_F(CClientTest, PlainCClientReportsTheFailingStep) {
    const ProcessResult run = RunProcess({QUVO_C_CLIENT, "NoSuchPrinter", "never\n", QUVO_SO_PATH});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("FAILED OpenService"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace QVO::Test
