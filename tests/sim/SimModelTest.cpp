// The models the virtual printer plays: names it knows and refuses, the paper each one has,
// a model without a cutter, and a line without a back channel.
#include "sim/Transport.h"
#include "sim/VirtualPrinter.h"
#include "platform/posix/PosixWait.h"
#include "platform/posix/UniqueFd.h"
#include "tests/sim/SimTestUtil.h"
#include "tests/support/WaitUntil.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace QVO::Sim {
namespace {

using namespace std::chrono_literals;

bool Traced(const VirtualPrinter& p, const std::string& entry) {
    const auto trace = p.Trace();
    return std::find(trace.begin(), trace.end(), entry) != trace.end();
}

// Catches a name the table lost or misspelt, a repeated name, and a near miss accepted.
TEST(SimModels, TableHoldsEachNameOnceAndRefusesOthers) {
    const std::vector<std::string> names = PrinterIdentity::ModelNames();
    EXPECT_EQ(names.size(), 43u);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
    for (const std::string& name : names) {
        const std::optional<PrinterIdentity> id = PrinterIdentity::FindModel(name);
        ASSERT_TRUE(id) << name;
        EXPECT_EQ(id->modelName, name);
        EXPECT_NE(PrinterIdentity::ModelListText().find(name), std::string::npos) << name;
    }
    for (const char* unknown : {"QP-T82I", "QP-L70I", "qp-t80a", "RX4270X", "TM-T88", ""})
        EXPECT_FALSE(PrinterIdentity::FindModel(unknown)) << unknown;
    // Others may still ask for a plain printer under any name.
    EXPECT_EQ(PrinterIdentity::ForModel("Other").printWidthDots, 576);
}

// Catches a model on the wrong paper: the picture is the paper's width, the print area the
// printable width, the GS I 2 type ID says cutter or not, and the maker's model frames.
TEST(SimModels, EachBuildHasItsPaperCutterAndFraming) {
    struct Case {
        const char* name;
        int paperDots;  // paper width / dot pitch
        int printDots;
        bool cutter;
        bool framed;
    };
    const Case cases[] = {
        {"QP-T80A", 640, 576, true, false},   {"QP-T81E", 640, 576, true, false},  {"QP-T82M", 640, 576, true, false},
        {"QP-T82NC", 640, 576, false, false}, {"QP-T58A", 464, 384, false, false}, {"QP-T58X", 464, 384, true, false},
        {"QP-L70J", 640, 576, true, false},   {"TM-T88IV", 567, 512, true, false}, {"RX4270SMB", 640, 576, false, true},
        {"RX4270", 640, 576, false, true},
    };
    constexpr uint8_t kTypeIdCutter = 0x02;
    for (const Case& c : cases) {
        VirtualPrinter p(PrinterIdentity::ForModel(c.name));
        EXPECT_EQ(p.Picture().width, c.paperDots) << c.name;
        EXPECT_EQ(p.State().printAreaWidth, c.printDots) << c.name;
        if (c.framed) continue;  // the framed model answers in packets
        p.Receive(B({0x1D, 0x49, 0x02}));
        const Bytes type = p.TakeAllReplies();
        ASSERT_EQ(type.size(), 1u) << c.name;
        EXPECT_EQ((type[0] & kTypeIdCutter) != 0, c.cutter) << c.name;
    }
    EXPECT_TRUE(PrinterIdentity::ForModel("RX4270").framed);
}

// Catches a printer without a cutter that swallows the whole GS V: it cannot cut, but it
// feeds as told and says why there is no cut.
TEST(SimModels, NoCutterFeedsButDoesNotCut) {
    for (const char* name : {"QP-T82NC", "QP-T58A"}) {
        VirtualPrinter p(PrinterIdentity::ForModel(name));
        p.Receive(S("A\n"));
        const int before = p.Picture().height;
        p.Receive(B({0x1D, 0x56, 0x42, 0x64}));  // GS V 66 100: feed 100 units, then cut
        EXPECT_GT(p.Picture().height, before) << name << ": no feed";
        EXPECT_EQ(p.State().fullCuts + p.State().partialCuts, 0) << name;
        EXPECT_TRUE(Traced(p, "note cut_ignored no cutter")) << name;
    }
    VirtualPrinter withCutter(PrinterIdentity::ForModel("QP-T58X"));
    withCutter.Receive(B({0x1D, 0x56, 0x42, 0x64}));
    EXPECT_EQ(withCutter.State().partialCuts, 1);
    EXPECT_FALSE(Traced(withCutter, "note cut_ignored no cutter"));
}

// Catches an output-only model that answers over a parallel or USB printer-class line.
TEST(SimModels, OutputOnlyModelsAnswerOnlyOverLinesWithABackChannel) {
    const std::vector<LinkType> all = {LinkType::Serial, LinkType::Parallel, LinkType::Usb, LinkType::Network,
                                       LinkType::File};
    for (const char* name : {"QP-T80A", "QP-T81C", "QP-T58A", "QP-T58X", "QP-L70A"}) {
        const PrinterIdentity id = PrinterIdentity::ForModel(name);
        for (LinkType link : all)
            EXPECT_EQ(id.AnswersOn(link), link != LinkType::Parallel && link != LinkType::Usb) << name;
    }
    for (const char* name : {"QP-T82A", "QP-T82NC", "TM-T88IV", "RX4270SMB"})
        for (LinkType link : all) EXPECT_TRUE(PrinterIdentity::ForModel(name).AnswersOn(link)) << name;
}

int ConnectLoopback(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? fd : (::close(fd), -1);
}

// Bytes the host can read within `timeout`.
Bytes ReadWithin(int fd, size_t n, std::chrono::milliseconds timeout) {
    Bytes out;
    QVO::Test::WaitUntil(
        [&] {
            uint8_t buf[16];
            while (out.size() < n && QVO::Platform::WaitReady(fd, POLLIN, 0) > 0) {
                const ssize_t r = ::read(fd, buf, std::min(sizeof buf, n - out.size()));
                if (r <= 0) return true;
                out.insert(out.end(), buf, buf + r);
            }
            return out.size() >= n;
        },
        timeout);
    return out;
}

// Catches a link without a back channel that still carries answers: the printer takes the
// request (it is traced) but the host never hears of it.
TEST(SimModels, LinkWithoutBackChannelCarriesNoAnswer) {
    for (bool backChannel : {false, true}) {
        VirtualPrinter printer(PrinterIdentity::ForModel("QP-T80A"), VirtualPrinter::Rendering::Off);
        TcpServer server(printer, 0);
        server.set_backChannel(backChannel);
        std::string error;
        ASSERT_TRUE(server.Start(&error)) << error;
        const Platform::UniqueFd host(ConnectLoopback(server.Port()));
        ASSERT_TRUE(host.isValid());
        ASSERT_EQ(::write(host.get(), "\x10\x04\x01", 3), 3);
        ASSERT_TRUE(QVO::Test::WaitUntil([&] { return Traced(printer, "DLE EOT 1"); }));
        // A later command is taken only after the first one's answer went its way.
        ASSERT_EQ(::write(host.get(), "\x1D\x72\x01", 3), 3);
        ASSERT_TRUE(QVO::Test::WaitUntil([&] { return Traced(printer, "GS r 1"); }));
        const Bytes answers = ReadWithin(host.get(), 2, backChannel ? 2000ms : 200ms);
        EXPECT_EQ(answers.size(), backChannel ? 2u : 0u) << "back channel " << backChannel;
        server.Stop();
    }
}

}  // namespace
}  // namespace QVO::Sim
