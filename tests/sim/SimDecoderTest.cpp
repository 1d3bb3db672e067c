// Decoder tests: command boundaries, arbitrary splits, garbage and truncation.
#include "sim/EscPosDecoder.h"
#include "sim/CommandLog.h"
#include "sim/VirtualPrinter.h"
#include "tests/sim/SimTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace QVO::Sim {
namespace {

std::vector<std::string> DecodeAll(const Bytes& bytes, size_t piece = SIZE_MAX, bool framedNv = false) {
    EscPosDecoder d;
    d.set_rasterNvDefinitions(framedNv);
    std::vector<std::string> out;
    auto sink = [&out](const Command& c) { out.push_back(TraceText(c)); };
    for (size_t at = 0; at < bytes.size(); at += piece) {
        const size_t n = std::min(piece, bytes.size() - at);
        d.Feed(bytes.data() + at, n, sink);
    }
    d.Finish(sink);
    return out;
}

// One stream with every family of lengths: fixed, 16-bit, length-prefixed, NUL-ended,
// 32-bit and computed-size payloads. A wrong length anywhere shifts every later command.
const Bytes kMixed = Cat({
    B({0x1B, 0x40}),
    B({0x1B, 0x21, 0x38}),
    S("Hi"),
    B({0x0A}),
    B({0x1B, 0x24, 0x10, 0x01}),
    B({0x1D, 0x57, 0x00, 0x02}),
    B({0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x41, 0x32, 0x00}),
    B({0x1D, 0x28, 0x6B, 0x06, 0x00, 0x31, 0x50, 0x30, 'a', 'b', 'c'}),
    B({0x1D, 0x6B, 0x04}),
    S("*AB*"),
    B({0x00}),
    B({0x1D, 0x6B, 0x49, 0x04, '{', 'B', '1', '2'}),
    B({0x1D, 0x38, 0x4C, 0x0C, 0x00, 0x00, 0x00, 0x30, 0x70, 0x30, 0x01, 0x01, 0x31, 0x08, 0x00, 0x01, 0x00, 0xF0,
       0x0F}),
    B({0x1D, 0x76, 0x30, 0x00, 0x01, 0x00, 0x02, 0x00, 0xAA, 0x55}),
    B({0x1B, 0x2A, 0x21, 0x01, 0x00, 1, 2, 3}),
    B({0x1D, 0x2A, 0x01, 0x01, 1, 2, 3, 4, 5, 6, 7, 8}),
    B({0x1B, 0x44, 0x04, 0x08, 0x00}),
    B({0x1B, 0x28, 0x41, 0x05, 0x00, 0x61, 0x64, 0x02, 0x01, 0x03}),
    B({0x1D, 0x56, 0x41, 0x10}),
    B({0x1D, 0x56, 0x01}),
    B({0x10, 0x14, 0x01, 0x00, 0x05}),
    B({0x10, 0x04, 0x04}),
    B({0x1C, 0x70, 0x01, 0x00}),
    B({0x1B, 0x70, 0x00, 0x19, 0xFA}),
});

const std::vector<std::string> kMixedTrace = {
    "ESC @",          "ESC ! 56",       "text \"Hi\"",        "LF",
    "ESC $ 272",      "GS W 512",       "GS ( k 49 65 [2]",   "GS ( k 49 80 [4]",
    "GS k 4 [4]",     "GS k 73 [4]",    "GS 8 L 48 112 [10]", "GS v 0 0 1 2 [2]",
    "ESC * 33 1 [3]", "GS * 1 1 [8]",   "ESC D 4 8",          "ESC ( A 97 100 2 1 3",
    "GS V 65 16",     "GS V 1",         "DLE DC4 1 0 5",      "DLE EOT 4",
    "FS p 1 0",       "ESC p 0 25 250",
};

TEST(SimDecoder, MixedStreamDecodesToExpectedTrace) { EXPECT_EQ(DecodeAll(kMixed), kMixedTrace); }

// Bytes arrive in arbitrary pieces on a real link: every piece size gives the same commands.
TEST(SimDecoder, EveryPieceSizeGivesTheSameCommands) {
    for (size_t piece : {1u, 2u, 3u, 5u, 7u, 13u, 64u})
        EXPECT_EQ(DecodeAll(kMixed, piece), kMixedTrace) << "piece size " << piece;
}

TEST(SimDecoder, UnknownSequencesAreSkippedNotFatal) {
    const Bytes bytes = Cat({B({0x1B, 0x01}), S("A"), B({0x1D, 0xFE}), B({0x07}), S("B"), B({0x0A})});
    EXPECT_EQ(DecodeAll(bytes),
              (std::vector<std::string>{"ESC SOH ?", "text \"A\"", "GS 0xFE ?", "BEL ?", "text \"B\"", "LF"}));
}

TEST(SimDecoder, StreamEndingInsideACommandIsReportedTruncated) {
    EXPECT_EQ(DecodeAll(B({0x1B, 0x61, 0x01, 0x1D, 0x28, 0x6B, 0x10, 0x00, 0x31})),
              (std::vector<std::string>{"ESC a 1", "GS ( k (truncated)"}));
    // Text at the very end needs no terminator.
    EXPECT_EQ(DecodeAll(S("tail")), (std::vector<std::string>{"text \"tail\""}));
}

// A corrupt 32-bit length must not make the printer wait for gigabytes: it resynchronises.
TEST(SimDecoder, ImpossibleLengthResynchronises) {
    const Bytes bytes = Cat({B({0x1D, 0x38, 0x4C, 0xFF, 0xFF, 0xFF, 0x7F, 0x30, 0x70}), S("ok"), B({0x0A})});
    const auto trace = DecodeAll(bytes);
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.front(), "GS 8 L ?");
    EXPECT_EQ(trace.back(), "LF");
}

// The short real-time form 10 14 01 08 ends after the pin byte; the next command survives.
TEST(SimDecoder, RealTimePulseForms) {
    EXPECT_EQ(DecodeAll(Cat({B({0x10, 0x14, 0x01, 0x08}), B({0x1B, 0x40})})),
              (std::vector<std::string>{"DLE DC4 1 8", "ESC @"}));
    EXPECT_EQ(DecodeAll(Cat({B({0x10, 0x14}), B({0x1B, 0x40})})), (std::vector<std::string>{"DLE DC4", "ESC @"}));
}

TEST(SimDecoder, NvImageDefinitionLengthFollowsTheModel) {
    // Raster form: 10 × 2 dots = 2 rows of 2 bytes; column form: 1 × 1 units = 8 bytes.
    const Bytes raster = B({0x1C, 0x71, 0x01, 0x0A, 0x00, 0x02, 0x00, 1, 2, 3, 4, 0x0A});
    EXPECT_EQ(DecodeAll(raster, SIZE_MAX, true), (std::vector<std::string>{"FS q 1 10 2 [4]", "LF"}));
    const Bytes columns = B({0x1C, 0x71, 0x01, 0x01, 0x00, 0x01, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x0A});
    EXPECT_EQ(DecodeAll(columns), (std::vector<std::string>{"FS q 1 1 1 [8]", "LF"}));
}

// Random bytes in random pieces, for both identities: the printer must stay sound (the
// sanitizer builds turn any overrun into a failure) and keep decoding after ESC @.
TEST(SimDecoder, RandomGarbageNeverBreaksThePrinter) {
    for (const char* model : {"TM-T88IV", "RX4270"}) {
        std::mt19937 rng(20261207);
        VirtualPrinter p(PrinterIdentity::ForModel(model));
        Bytes noise(48 * 1024);
        for (auto& b : noise) b = uint8_t(rng());
        for (size_t at = 0; at < noise.size();) {
            const size_t n = std::min<size_t>(1 + rng() % 300, noise.size() - at);
            p.Receive(noise.data() + at, n);
            at += n;
        }
        p.EndOfStream();
        p.TakeAllReplies();
        p.Receive(B({0x10, 0x04, 0x01}));
        const Bytes reply = p.TakeAllReplies();
        ASSERT_FALSE(reply.empty()) << model;
        EXPECT_EQ(reply.back(), 0x12) << model;
        EXPECT_FALSE(p.Trace().empty());
    }
}

// The log is read by scripts: quotes, backslashes and code-page bytes must stay valid JSON.
TEST(SimDecoder, JsonLinesAreEscapedAndComplete) {
    std::vector<std::string> lines;
    EscPosDecoder d;
    auto sink = [&lines](const Command& c) { lines.push_back(FormatJsonLine(c)); };
    const Bytes bytes =
        Cat({S("say \"hi\" \\ "),
             B({0x9C, 0x0A, 0x1B, 0x61, 0x01, 0x1B, 0xFF, 0x1D, 0x6B, 0x49, 0x02, 'A', 'B', 0x1D, 0x28})});
    d.Feed(bytes.data(), bytes.size(), sink);
    d.Finish(sink);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         R"({"off":0,"cmd":"text","name":"text","text":"say \"hi\" \\ \u009c"})",
                         R"({"off":12,"cmd":"LF","name":"line_feed"})",
                         R"({"off":13,"cmd":"ESC a","name":"justify","args":[1]})",
                         R"({"off":16,"cmd":"ESC 0xFF","name":"unknown","raw":"1BFF","unknown":true})",
                         R"({"off":18,"cmd":"GS k","name":"barcode","args":[73],"len":2})",
                         R"({"off":24,"cmd":"GS (","name":"truncated","raw":"1D28","truncated":true})",
                     }));
}

// Catches a NUL byte taken for text (its selector value once doubled as the text marker):
// it traced as `NUL ""` and logged an empty "text".
TEST(SimDecoder, NulIsAControlByteNotText) {
    std::vector<std::string> lines;
    EscPosDecoder d;
    const Bytes bytes = B({'A', 0x00, 'B'});
    d.Feed(bytes.data(), bytes.size(), [&lines](const Command& c) { lines.push_back(FormatJsonLine(c)); });
    d.Finish([&lines](const Command& c) { lines.push_back(FormatJsonLine(c)); });
    EXPECT_EQ(lines, (std::vector<std::string>{R"({"off":0,"cmd":"text","name":"text","text":"A"})",
                                               R"({"off":1,"cmd":"NUL","name":"nul"})",
                                               R"({"off":2,"cmd":"text","name":"text","text":"B"})"}));
    EXPECT_EQ(DecodeAll(bytes), (std::vector<std::string>{"text \"A\"", "NUL", "text \"B\""}));
}

}  // namespace
}  // namespace QVO::Sim
