// Tests of the key limits (name length, depth, path length) and of what long paths may cost.
#include "platform/registry/KeyTree.h"
#include "platform/registry/Registry.h"

#include "tests/platform/registry/TestSupport.h"

#include <gtest/gtest.h>

namespace QVO::Platform::Registry {
namespace {

using Testing::WriteBytes;

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";

// A path of `levels` names and `length` characters in all, backslashes included.
std::wstring PathOf(size_t levels, size_t length) {
    const size_t letters = length - (levels - 1);
    std::wstring path;
    for (size_t i = 0; i < levels; ++i) {
        if (i) path += L'\\';
        const size_t size = letters / levels + (i < letters % levels ? 1 : 0);
        std::wstring name(size, static_cast<wchar_t>(L'a' + i % 26));
        name[0] = L'K';
        path += name;
    }
    return path;
}

std::string Ascii(const std::wstring& s) { return std::string(s.begin(), s.end()); }

class RegistryLimitsTest : public Testing::TempRegistry {
protected:
    // Imports one section line (line 3) and returns the outcome.
    Status ImportKey(const std::string& rootedKey, const std::string& lines = "") {
        const std::string file = (root_ / "limits.reg").string();
        WriteBytes(file, kHeader + "[" + rootedKey + "]\n" + lines);
        return ImportFile(file);
    }
};

struct LimitCase {
    const char* label;
    std::wstring path;
    const char* refusal;  // nullptr: accepted
};

// Just at each Windows limit a key is made; just beyond it the key API and an imported file
// refuse it with the limit in the message (the file with its line). Without the limits a
// 20 KB file of nested names made a 100 MB hive.
TEST_F(RegistryLimitsTest, KeysBeyondTheWindowsLimitsAreRefusedEverywhere) {
    const std::vector<LimitCase> cases = {
        {"255-character name", PathOf(1, 255), nullptr},
        {"256-character name", PathOf(1, 256), "key name longer than 255 characters"},
        {"512 levels", PathOf(512, 1023), nullptr},
        {"513 levels", PathOf(513, 1025), "key path deeper than 512 levels"},
        {"32767 characters", PathOf(128, 32767), nullptr},
        {"32768 characters", PathOf(129, 32768), "key path longer than 32767 characters"},
        {"512 levels in 32767 characters", PathOf(512, 32767), nullptr},
    };
    for (const auto& c : cases) {
        Key key;
        const Status created = Key::Create(Hive::LocalMachine, c.path, key);
        const Status imported = ImportKey("HKEY_CURRENT_USER\\" + Ascii(c.path));
        if (!c.refusal) {
            EXPECT_TRUE(created.ok()) << c.label << ": " << created.message;
            EXPECT_TRUE(imported.ok()) << c.label << ": " << imported.message;
            EXPECT_TRUE(Key::Open(Hive::LocalMachine, c.path, key).ok()) << c.label;
            EXPECT_TRUE(Key::Open(Hive::CurrentUser, c.path, key).ok()) << c.label;
            continue;
        }
        EXPECT_EQ(created.error, Error::InvalidArgument) << c.label;
        EXPECT_NE(created.message.find(c.refusal), std::string::npos) << c.label << ": " << created.message;
        EXPECT_EQ(imported.error, Error::Corrupt) << c.label;
        EXPECT_NE(imported.message.find("limits.reg:3: " + std::string(c.refusal)), std::string::npos)
            << c.label << ": " << imported.message;
    }
}

// HKCR keys live two levels down (Software\Classes) in their hive, and the limits hold
// there: a key the hive file could not hold is refused instead of making the hive unreadable.
TEST_F(RegistryLimitsTest, ClassesRootKeysCountTheirPlaceInTheHive) {
    Key key;
    ASSERT_TRUE(Key::Create(Hive::ClassesRoot, PathOf(510, 1019), key).ok());
    const Status created = Key::Create(Hive::ClassesRoot, PathOf(511, 1021), key);
    EXPECT_EQ(created.error, Error::InvalidArgument);
    EXPECT_NE(created.message.find("deeper than 512 levels"), std::string::npos) << created.message;

    EXPECT_TRUE(ImportKey("HKEY_CLASSES_ROOT\\" + Ascii(PathOf(510, 1019))).ok());
    const Status imported = ImportKey("HKEY_CLASSES_ROOT\\" + Ascii(PathOf(511, 1021)));
    EXPECT_EQ(imported.error, Error::Corrupt);
    EXPECT_NE(imported.message.find("limits.reg:3: key path deeper than 512 levels below "
                                    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes"),
              std::string::npos)
        << imported.message;
    ASSERT_TRUE(Key::Open(Hive::LocalMachine, L"", key).ok()) << "the hive must still read";
}

// A hive file must grow with what was stored, not with the square of the depth: the
// deepest path allowed, with a value at its end, once wrote every key along it as its own
// section (8 MB from a 32 KB file, re-read on every later call).
TEST_F(RegistryLimitsTest, DeepestPathKeepsTheHiveSmall) {
    const std::wstring path = PathOf(512, 32767);
    ASSERT_TRUE(ImportKey("HKEY_LOCAL_MACHINE\\" + Ascii(path), "\"v\"=dword:00000001\n").ok());
    const auto size = std::filesystem::file_size(HklmFile());
    EXPECT_LT(size, 2 * std::filesystem::file_size(root_ / "limits.reg"));
    Key key;
    ASSERT_TRUE(Key::Open(Hive::LocalMachine, path, key).ok());
    Value v;
    ASSERT_TRUE(key.QueryValue(L"v", v).ok());
    EXPECT_EQ(v, Value::DWord(1));
    // Every key along the path is still there, with its own spelling.
    std::vector<std::wstring> subkeys;
    ASSERT_TRUE(Key::Open(Hive::LocalMachine, PathOf(512, 32767).substr(0, 63), key).ok());
    ASSERT_TRUE(key.EnumSubKeys(subkeys).ok());
    ASSERT_EQ(subkeys.size(), 1u);
    EXPECT_EQ(subkeys[0], path.substr(64, 63));
}

// Each value line under a long key path must not cost the path again: 20 000 values under
// a 32 767-character key once held 2.7 GB while the file was applied.
TEST_F(RegistryLimitsTest, ManyValuesUnderALongPathStaySmall) {
    std::string lines;
    for (int i = 0; i < 20000; ++i) lines += "\"v" + std::to_string(i) + "\"=\"\"\n";
    const std::string key = "HKEY_LOCAL_MACHINE\\" + Ascii(PathOf(128, 32767));
    const int rc = Testing::RunInChild([&] {
        if (!Testing::LimitAddressSpace(768u << 20)) return 3;
        return ImportKey(key, lines).ok() ? 0 : 1;
    });
    if (rc == 3) GTEST_SKIP() << "no address space limit in this build";
    EXPECT_EQ(rc, 0) << "1: import failed, " << Testing::kThrew << ": out of memory";
}

}  // namespace
}  // namespace QVO::Platform::Registry
