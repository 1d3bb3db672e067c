// `quvo sim` as a user runs it: a printer on a loopback port, steered through its control
// socket, leaving its paper and log behind when the single connection ends.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

int ConnectTcp(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends one control line and returns the printer's one-line answer.
std::string Control(const std::string& socketPath, const std::string& line) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        std::string text = line + "\n";
        if (write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size())) {
            char buf[512];
            pollfd p{fd, POLLIN, 0};
            while (answer.find('\n') == std::string::npos && poll(&p, 1, 5000) > 0) {
                ssize_t n = read(fd, buf, sizeof buf);
                if (n <= 0) break;
                answer.append(buf, static_cast<size_t>(n));
            }
        }
    }
    close(fd);
    return answer;
}

// Reads one byte with a deadline; -1 when nothing came.
int ReadByte(int fd) {
    pollfd p{fd, POLLIN, 0};
    uint8_t b = 0;
    if (poll(&p, 1, 5000) <= 0 || read(fd, &b, 1) != 1) return -1;
    return b;
}

// Catches a command line whose printer ignores its control socket, answers status wrongly,
// or does not leave its paper and log behind when the connection ends.
TEST(ToolSimTest, ServesOneConnectionTakesControlAndWritesPaperAndLog) {
    std::string pattern = (fs::path(::testing::TempDir()) / "quvo-sim-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path dir = pattern;
    const std::string png = (dir / "paper.png").string(), log = (dir / "log.jsonl").string();
    const std::string control = (dir / "control.sock").string();

    const std::string command =
        std::string(QUVO_BIN) + " sim --tcp 0 --once --png " + png + " --log " + log + " --control " + control;
    FILE* sim = popen(command.c_str(), "r");
    ASSERT_NE(sim, nullptr);
    char first[128] = {};
    ASSERT_NE(fgets(first, sizeof first, sim), nullptr);
    int port = 0;
    ASSERT_EQ(std::sscanf(first, "tcp 127.0.0.1:%d", &port), 1) << first;

    int fd = ConnectTcp(port);
    ASSERT_GE(fd, 0);
    EXPECT_NE(Control(control, "cover open").find("ok"), std::string::npos);
    const uint8_t askCover[] = {0x10, 0x04, 0x02};  // DLE EOT 2: offline cause
    ASSERT_EQ(write(fd, askCover, sizeof askCover), 3);
    const int reply = ReadByte(fd);
    ASSERT_GE(reply, 0);
    EXPECT_EQ(reply & 0x04, 0x04) << "cover-open bit missing in " << reply;
    EXPECT_EQ(reply & 0x93, 0x12) << "fixed bits of a real-time reply";

    const char receipt[] = "\x1b@Hello from the test\n\x1dV\x01";
    ASSERT_EQ(write(fd, receipt, sizeof receipt - 1), static_cast<ssize_t>(sizeof receipt - 1));
    EXPECT_NE(Control(control, "status").find("cover=open"), std::string::npos);
    close(fd);

    const int status = pclose(sim);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(fs::exists(png));
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("Hello from the test"), std::string::npos);
    EXPECT_NE(text.str().find("GS V"), std::string::npos);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Catches a picture path that cannot be written being found out only when the run ends
// (after serving, perhaps for hours): the run must refuse at once, before it serves.
TEST(ToolSimTest, UnwritablePictureFailsBeforeServing) {
    std::string pattern = (fs::path(::testing::TempDir()) / "quvo-sim-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path dir = pattern;
    const std::string toPrinter = (dir / "out.bin").string(), fromPrinter = (dir / "in.bin").string();
    std::ofstream(toPrinter) << "\x1b@";  // a --file --once run ends by itself at the end of this
    const fs::path png = dir / "no-such-folder" / "paper.png";
    const std::string command = "timeout 20 " + std::string(QUVO_BIN) + " sim --once --file " + toPrinter + "," +
                                fromPrinter + " --png " + png.string() + " >" + (dir / "stdout").string() + " 2>" +
                                (dir / "stderr").string();
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(ReadAll(dir / "stdout"), "") << "the printer served before it checked its picture path";
    const std::string errors = ReadAll(dir / "stderr");
    EXPECT_NE(errors.find("cannot write the picture " + png.string()), std::string::npos) << errors;
    EXPECT_NE(errors.find(std::strerror(ENOENT)), std::string::npos) << errors;
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

}  // namespace
