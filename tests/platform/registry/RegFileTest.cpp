// Tests of the .reg parser and writer on memory buffers: encodings, syntax, layout, errors.
#include "platform/registry/RegFile.h"

#include "tests/platform/registry/TestSupport.h"

#include <gtest/gtest.h>

namespace QVO::Platform::Registry {
namespace {

using RegFile::Operation;
using Testing::RegeditUtf16;

// Applies a parsed file to an empty HKLM tree, failing the test on a parse error.
std::unique_ptr<KeyNode> TreeOf(const std::string& bytes) {
    RegFile::Document doc;
    RegFile::ParseError error;
    EXPECT_TRUE(RegFile::Parse(bytes, doc, error)) << "line " << error.line << ": " << error.what;
    auto root = std::make_unique<KeyNode>();
    for (const auto& op : doc.operations) RegFile::Apply(*root, op);
    return root;
}

std::string Utf8Export(const KeyNode& root) {
    return RegFile::Serialize(root, L"HKEY_LOCAL_MACHINE", RegFile::Encoding::Utf8, RegFile::Layout::Hive);
}

const Value* Find(const KeyNode& root, const KeyPath& key, const std::wstring& name) {
    const KeyNode* node = FindKey(root, key);
    if (!node) return nullptr;
    for (const auto& [folded, named] : node->values)
        if (named.name == name) return &named.value;
    return nullptr;
}

// One entry written in each encoding regedit produces must read back as the same tree;
// catches a decoder that mistakes one encoding for another (or REGEDIT4's ANSI hex(2) for
// UTF-16).
TEST(RegistryFileFormatTest, EveryRegeditEncodingReadsToTheSameTree) {
    const std::wstring body =
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Caf\u00e9]\n"
        L"@=\"Cr\u00e8me\"\n"
        L"\"Count\"=dword:0000002a\n";
    const std::string v5utf16 = RegeditUtf16(L"Windows Registry Editor Version 5.00\n\n" + body +
                                             L"\"Path\"=hex(2):25,00,41,00,25,00,00,00\n\n");
    const std::string v5utf8 =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Caf\xC3\xA9]\n@=\"Cr\xC3\xA8me\"\n"
        "\"Count\"=dword:0000002a\n\"Path\"=hex(2):25,00,41,00,25,00,00,00\n";
    const std::string v5utf8bom = "\xEF\xBB\xBF" + v5utf8;
    // REGEDIT4 is ANSI text, and its hex(2) data are ANSI bytes with one NUL.
    const std::string v4 =
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Caf\xE9]\r\n@=\"Cr\xE8me\"\r\n"
        "\"Count\"=dword:0000002a\r\n\"Path\"=hex(2):25,41,25,00\r\n\r\n";

    const std::string expected = Utf8Export(*TreeOf(v5utf8));
    for (const std::string* file : {&v5utf16, &v5utf8bom, &v4}) EXPECT_EQ(Utf8Export(*TreeOf(*file)), expected);

    auto tree = TreeOf(v4);
    const Value* path = Find(*tree, {L"SOFTWARE", L"Caf\u00e9"}, L"Path");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(*path, Value::ExpandString(L"%A%"));
}

// Windows-1252 has characters outside Latin-1 in 0x80..0x9F; the five unassigned bytes must
// not make the file unreadable.
TEST(RegistryFileFormatTest, Regedit4ReadsWindows1252) {
    auto tree = TreeOf("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"Euro\"=\"\x80\x81\x9F\"\n");
    const Value* v = Find(*tree, {L"A"}, L"Euro");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->text, std::wstring(L"\u20AC\u0081\u0178"));
}

// Hex data may run over several lines, with comments and blank lines around; a parser that
// only reads one physical line loses the tail.
TEST(RegistryFileFormatTest, ContinuationLinesCommentsAndBlankLines) {
    auto tree = TreeOf(
        "Windows Registry Editor Version 5.00\r\n"
        "; a comment\r\n"
        "\r\n"
        "  [HKEY_LOCAL_MACHINE\\K]   ; trailing comment\r\n"
        "\"Bin\"=hex:01,02,\\\r\n"
        "    03,04,\\\r\n"
        "\t05\r\n"
        "\"Q\" = hex(b):01,00,00,00,00,00,00,00\r\n"
        "\"Multi\"=hex(7):61,00,00,00,00,00,62,00,00,00,00,00\r\n");
    const Value* bin = Find(*tree, {L"K"}, L"Bin");
    ASSERT_NE(bin, nullptr);
    EXPECT_EQ(*bin, Value::Binary({1, 2, 3, 4, 5}));
    const Value* qword = Find(*tree, {L"K"}, L"Q");
    ASSERT_NE(qword, nullptr);
    EXPECT_EQ(static_cast<uint32_t>(qword->type), 11u);
    EXPECT_EQ(qword->bytes.size(), 8u);
    const Value* multi = Find(*tree, {L"K"}, L"Multi");
    ASSERT_NE(multi, nullptr);
    EXPECT_EQ(multi->multi, (std::vector<std::wstring>{L"a", L"", L"b"}));
}

// Deletions apply in file order: a key removed and then re-created keeps only the new values.
TEST(RegistryFileFormatTest, DeletionsApplyInFileOrder) {
    auto tree = TreeOf(
        "Windows Registry Editor Version 5.00\n"
        "[HKLM\\A\\B]\n\"old\"=\"1\"\n\"gone\"=\"2\"\n"
        "[HKLM\\A\\B]\n\"gone\"=-\n"
        "[-HKLM\\A]\n"
        "[HKLM\\A\\C]\n\"new\"=\"3\"\n");
    EXPECT_EQ(FindKey(*tree, {L"A", L"B"}), nullptr);
    EXPECT_NE(Find(*tree, {L"A", L"C"}, L"new"), nullptr);
}

// The writer escapes quotes and backslashes as regedit does, and strings that no text line
// can carry (line breaks, control characters) go out as hex(1): all come back unchanged.
TEST(RegistryFileFormatTest, AwkwardStringsSurviveWriteAndRead) {
    const std::vector<std::wstring> samples = {
        L"C:\\Program Files\\\"QUVO\"\\",     // escapes
        L"two\nlines\r\n",                    // would break the line
        std::wstring(L"nul\0inside", 10),     // would end the string early
        L"tab\there \u00e9\u4e2d\U0001F600",  // kept as text, beyond the BMP too
        L"",
    };
    KeyNode root;
    KeyNode& key = root.Child(L"K");
    for (size_t i = 0; i < samples.size(); ++i) {
        key.SetValue(L"s" + std::to_wstring(i), Value::String(samples[i]));
        key.SetValue(L"name \"" + std::to_wstring(i) + L"\" \\", Value::DWord(static_cast<uint32_t>(i)));
    }
    const std::string text = Utf8Export(root);
    EXPECT_NE(text.find("\"C:\\\\Program Files\\\\\\\"QUVO\\\"\\\\\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"s1\"=hex(1):"), std::string::npos) << text;
    auto back = TreeOf(text);
    EXPECT_EQ(Utf8Export(*back), text);
    for (size_t i = 0; i < samples.size(); ++i) {
        const Value* v = Find(*back, {L"K"}, L"s" + std::to_wstring(i));
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->text, samples[i]) << i;
    }
}

// Lines of hex data are wrapped where regedit wraps them (20 bytes after a 17-column
// prefix, 25 on continuation lines); compared with a line regedit wrote.
TEST(RegistryFileFormatTest, HexDataWrapsWhereRegeditWrapsIt) {
    const std::vector<uint8_t> shellState = {0x24, 0, 0,    0, 0x1c, 0x08, 0,    0, 0, 0, 0, 0, 0, 0, 0,    0, 0, 0,
                                             0,    0, 0x01, 0, 0,    0,    0x13, 0, 0, 0, 0, 0, 0, 0, 0x6b, 0, 0, 0};
    KeyNode root;
    root.Child(L"K").SetValue(L"ShellState", Value::Binary(shellState));
    root.Child(L"K").SetValue(L"Long", Value::Binary(std::vector<uint8_t>(60, 0xab)));
    const std::string text = Utf8Export(root);
    EXPECT_NE(text.find("\"ShellState\"=hex:24,00,00,00,1c,08,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\n"
                        "  01,00,00,00,13,00,00,00,00,00,00,00,6b,00,00,00\n"),
              std::string::npos)
        << text;
    size_t lineStart = 0;
    while (lineStart < text.size()) {
        const size_t end = text.find('\n', lineStart);
        EXPECT_LE(end - lineStart, 80u) << text.substr(lineStart, end - lineStart);
        lineStart = end + 1;
    }
}

// The UTF-16 form is regedit's: BOM, CRLF everywhere (also inside wrapped hex), a blank
// line after the header and after every key.
TEST(RegistryFileFormatTest, Utf16OutputHasRegeditLayout) {
    KeyNode root;
    root.Child(L"SOFTWARE").Child(L"K").SetValue(L"", Value::String(L"x"));
    root.Child(L"SOFTWARE").Child(L"K").SetValue(L"B", Value::Binary(std::vector<uint8_t>(30, 1)));
    const std::string bytes = RegFile::Serialize(*root.FindChild(L"SOFTWARE"), L"HKEY_LOCAL_MACHINE\\SOFTWARE",
                                                 RegFile::Encoding::Utf16Le, RegFile::Layout::Export);
    const std::string expected = RegeditUtf16(
        L"Windows Registry Editor Version 5.00\n\n"
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
        L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\K]\n"
        L"@=\"x\"\n"
        L"\"B\"=hex:01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,\\\n"
        L"  01,01,01,01,01,01,01\n\n");
    EXPECT_EQ(bytes, expected);
}

struct BadFile {
    const char* label;
    std::string bytes;
    int line;
    const char* what;  // a fragment of the message
};

// Damage must be found and located, never read as "no more keys": each of these files
// would otherwise lose entries silently.
TEST(RegistryFileFormatTest, DamageIsReportedWithItsLine) {
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    const std::vector<BadFile> cases = {
        {"no header", "[HKEY_LOCAL_MACHINE\\A]\n", 1, "first line"},
        {"binary junk",
         std::string("\x7f"
                     "ELF\x02\x01\x01\0\0\0",
                     10),
         1, ""},
        {"unterminated key", header + "[HKEY_LOCAL_MACHINE\\A]\n[HKEY_LOCAL_MACH", 4, "']'"},
        {"truncated string", header + "[HKLM\\A]\n\"x\"=\"abc", 4, "quote"},
        {"cut after a continuation", header + "[HKLM\\A]\n\"x\"=hex:01,02,\\", 4, "continuation"},
        {"three-digit byte", header + "[HKLM\\A]\n\"x\"=hex:01,002\n", 4, "two digits"},
        {"long dword", header + "[HKLM\\A]\n\"x\"=dword:123456789\n", 4, "8 hex"},
        {"short hex(4)", header + "[HKLM\\A]\n\"x\"=hex(4):01,02\n", 4, "4 bytes"},
        {"value before key", header + "\"x\"=\"1\"\n", 3, "outside"},
        {"unknown root", header + "[HKEY_USERS\\A]\n", 3, "root"},
        {"empty key name", header + "[HKLM\\A\\\\B]\n", 3, "empty key"},
        {"junk line", header + "[HKLM\\A]\nhello\n", 4, "unexpected"},
        {"NUL in text", header + std::string("[HKLM\\A]\n\"x\"=\"a\0b\"\n", 19), 4, "NUL"},
        {"bad UTF-8", header + "[HKLM\\A]\n\"x\"=\"\xC3\x28\"\n", 4, "UTF-8"},
        {"UTF-16 odd length", RegeditUtf16(L"Windows Registry Editor Version 5.00\n[HKLM\\A]\n") + "x", 3, "UTF-16"},
        {"UTF-16 lone surrogate", RegeditUtf16(L"Windows Registry Editor Version 5.00\n\n[HKLM\\\xD800]\n"), 3,
         "UTF-16"},
        {"UTF-16 big-endian", std::string("\xFE\xFF\0W", 4), 1, "big-endian"},
    };
    for (const auto& c : cases) {
        RegFile::Document doc;
        RegFile::ParseError error;
        EXPECT_FALSE(RegFile::Parse(c.bytes, doc, error)) << c.label;
        EXPECT_EQ(error.line, c.line) << c.label << ": " << error.what;
        EXPECT_NE(error.what.find(c.what), std::string::npos) << c.label << ": " << error.what;
    }
}

}  // namespace
}  // namespace QVO::Platform::Registry
