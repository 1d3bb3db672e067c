// Tests of the key API: typed values, names, enumeration, deletion, HKCR and hive locations.
#include "platform/registry/HiveFile.h"
#include "platform/registry/RegText.h"
#include "platform/registry/Registry.h"

#include "tests/platform/registry/TestSupport.h"

#include <gtest/gtest.h>

namespace QVO::Platform::Registry {
namespace {

using Testing::ReadBytes;

class RegistryKeyTest : public Testing::TempRegistry {
protected:
    Key MustCreate(Hive hive, const std::wstring& path) {
        Key key;
        const Status s = Key::Create(hive, path, key);
        EXPECT_TRUE(s.ok()) << s.message;
        return key;
    }

    // The hive as a fresh process would see it: parsed from the file, not from the cache.
    std::unique_ptr<KeyNode> Reparse(Hive hive, const std::filesystem::path& file) {
        auto root = std::make_unique<KeyNode>();
        const Status s = HiveFile::ParseHive(ReadBytes(file), hive, file.string(), *root);
        EXPECT_TRUE(s.ok()) << s.message;
        return root;
    }
};

// Every type must come back from the file with its type and data, including the forms that
// need care: wrapped hex, strings written as hex(1), empty multi-string elements and types
// the store has no special form for.
TEST_F(RegistryKeyTest, EveryValueTypeSurvivesTheHiveFile) {
    Value qword;
    qword.type = static_cast<ValueType>(11);
    qword.bytes = {1, 2, 3, 4, 5, 6, 7, 8};
    Value none;
    none.bytes = {0xde, 0xad};
    std::vector<uint8_t> big(1000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    const std::vector<std::pair<std::wstring, Value>> table = {
        {L"sz", Value::String(L"RX4270_01")},
        {L"sz-empty", Value::String(L"")},
        {L"sz-lines", Value::String(L"a\r\nb")},
        {L"sz-unicode", Value::String(L"\u00fc\u4e2d\U0001F600")},
        {L"sz-lone-surrogate", Value::String(std::wstring(1, static_cast<wchar_t>(0xDC00)))},
        {L"expand", Value::ExpandString(L"%ProgramData%\\QUVO")},
        {L"dword-max", Value::DWord(0xFFFFFFFFu)},
        {L"dword-zero", Value::DWord(0)},
        {L"binary-empty", Value::Binary({})},
        {L"binary-big", Value::Binary(big)},
        {L"multi", Value::MultiString({L"one", L"", L"three"})},
        {L"multi-empty", Value::MultiString({})},
        {L"multi-one-empty", Value::MultiString({L""})},
        {L"none", none},
        {L"qword", qword},
    };
    const Key key = MustCreate(Hive::LocalMachine, L"SOFTWARE\\Types");
    for (const auto& [name, value] : table)
        ASSERT_TRUE(key.SetValue(name, value).ok()) << std::string(name.begin(), name.end());

    auto reread = Reparse(Hive::LocalMachine, HklmFile());
    const KeyNode* node = FindKey(*reread, {L"SOFTWARE", L"Types"});
    ASSERT_NE(node, nullptr);
    for (const auto& [name, value] : table) {
        const auto it = node->values.find(Text::FoldCase(name));
        ASSERT_NE(it, node->values.end());
        EXPECT_EQ(it->second.value, value) << std::string(name.begin(), name.end());
        Value viaApi;
        ASSERT_TRUE(key.QueryValue(name, viaApi).ok());
        EXPECT_EQ(viaApi, value);
    }
}

// Values that no hive file could hold are refused instead of corrupting the file.
TEST_F(RegistryKeyTest, UnstorableNamesAndValuesAreRefused) {
    const Key key = MustCreate(Hive::LocalMachine, L"K");
    EXPECT_EQ(key.SetValue(L"bad\nname", Value::String(L"x")).error, Error::InvalidArgument);
    EXPECT_EQ(key.SetValue(std::wstring(L"nul\0", 4), Value::String(L"x")).error, Error::InvalidArgument);
    EXPECT_EQ(key.SetValue(L"v", Value::String(std::wstring(1, static_cast<wchar_t>(0x110000)))).error,
              Error::InvalidArgument);
    EXPECT_EQ(key.SetValue(L"v", Value::MultiString({std::wstring(L"a\0b", 3)})).error, Error::InvalidArgument);
    Key unused;
    for (const wchar_t* path : {L"A\\\\B", L"\\A", L"A\nB"})
        EXPECT_EQ(Key::Create(Hive::LocalMachine, path, unused).error, Error::InvalidArgument);
    EXPECT_EQ(Key::Create(Hive::LocalMachine, std::wstring(256, L'x'), unused).error, Error::InvalidArgument);
    EXPECT_TRUE(Key::Create(Hive::LocalMachine, L"A\\B\\", unused).ok());  // one trailing backslash is fine
}

// Names compare without case but keep the spelling they were created with, for keys and
// values alike; a second spelling must not create a second entry.
TEST_F(RegistryKeyTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    const Key key = MustCreate(Hive::LocalMachine, L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\RX4270_01");
    Key again;
    ASSERT_TRUE(
        Key::Create(Hive::LocalMachine, L"software\\oleforretail\\SERVICEOPOS\\posprinter\\rx4270_01", again).ok());
    ASSERT_TRUE(key.SetValue(L"PortType", Value::String(L"USB")).ok());
    ASSERT_TRUE(again.SetValue(L"PORTTYPE", Value::String(L"TCP/IP")).ok());
    ASSERT_TRUE(key.SetValue(L"\u00c4rger", Value::String(L"1")).ok());
    EXPECT_EQ(again.GetString(L"\u00e4RGER"), L"1");

    std::vector<NamedValue> values;
    ASSERT_TRUE(again.EnumValues(values).ok());
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].name, L"PortType");  // "\u00c4RGER" sorts after "PORTTYPE"
    EXPECT_EQ(values[0].value.text, L"TCP/IP");

    Key parent;
    ASSERT_TRUE(Key::Open(Hive::LocalMachine, L"SOFTWARE\\OLEFORRETAIL", parent).ok());
    std::vector<std::wstring> subkeys;
    ASSERT_TRUE(parent.EnumSubKeys(subkeys).ok());
    EXPECT_EQ(subkeys, std::vector<std::wstring>{L"ServiceOPOS"});
}

// Enumeration order is fixed: default value first, then names without regard to case.
TEST_F(RegistryKeyTest, EnumerationOrderIsStable) {
    const Key key = MustCreate(Hive::CurrentUser, L"Order");
    for (const wchar_t* name : {L"beta", L"Alpha", L"gamma", L"alpha2", L"_under"}) {
        ASSERT_TRUE(key.SetValue(name, Value::DWord(1)).ok());
        Key child;
        ASSERT_TRUE(Key::Create(Hive::CurrentUser, std::wstring(L"Order\\") + name, child).ok());
    }
    ASSERT_TRUE(key.SetValue(L"", Value::String(L"default")).ok());
    std::vector<NamedValue> values;
    ASSERT_TRUE(key.EnumValues(values).ok());
    std::vector<std::wstring> names;
    for (const auto& v : values) names.push_back(v.name);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"", L"Alpha", L"alpha2", L"beta", L"gamma", L"_under"}));
    std::vector<std::wstring> subkeys;
    ASSERT_TRUE(key.EnumSubKeys(subkeys).ok());
    EXPECT_EQ(subkeys, (std::vector<std::wstring>{L"Alpha", L"alpha2", L"beta", L"gamma", L"_under"}));
    EXPECT_NE(ReadBytes(HkcuFile()).find("[HKEY_CURRENT_USER\\Order]\n@=\"default\"\n\"Alpha\"=dword:00000001"),
              std::string::npos);
}

// A missing key or value is an error, never an empty answer; a value of another type is not
// a string; a handle whose key was deleted meanwhile reports NotFound.
TEST_F(RegistryKeyTest, MissingKeysAndValuesAreErrors) {
    Key key;
    EXPECT_EQ(Key::Open(Hive::LocalMachine, L"SOFTWARE\\Nope", key).error, Error::NotFound);
    key = MustCreate(Hive::LocalMachine, L"SOFTWARE\\Here");
    Value v;
    const Status missing = key.QueryValue(L"Notes", v);
    EXPECT_EQ(missing.error, Error::NotFound);
    EXPECT_NE(missing.message.find("Notes"), std::string::npos);
    EXPECT_EQ(key.QueryValue(L"", v).error, Error::NotFound);
    ASSERT_TRUE(key.SetValue(L"Expand", Value::ExpandString(L"x")).ok());
    EXPECT_EQ(key.GetString(L"Expand"), std::nullopt);
    EXPECT_EQ(key.DeleteValue(L"Notes").error, Error::NotFound);

    ASSERT_TRUE(Key::DeleteTree(Hive::LocalMachine, L"SOFTWARE\\Here").ok());
    EXPECT_EQ(key.SetValue(L"x", Value::DWord(1)).error, Error::NotFound);
    EXPECT_EQ(key.QueryValue(L"Expand", v).error, Error::NotFound);
    std::vector<std::wstring> subkeys;
    EXPECT_EQ(key.EnumSubKeys(subkeys).error, Error::NotFound);
}

// DeleteTree takes the key with everything under it and nothing beside it.
TEST_F(RegistryKeyTest, DeleteTreeRemovesTheWholeSubtreeOnly) {
    MustCreate(Hive::LocalMachine, L"S\\Printer\\A\\Deep").SetValue(L"v", Value::DWord(1));
    MustCreate(Hive::LocalMachine, L"S\\Printer\\B");
    MustCreate(Hive::LocalMachine, L"S\\PrinterX");
    ASSERT_TRUE(Key::DeleteTree(Hive::LocalMachine, L"s\\printer").ok());
    Key key;
    EXPECT_EQ(Key::Open(Hive::LocalMachine, L"S\\Printer\\A\\Deep", key).error, Error::NotFound);
    EXPECT_TRUE(Key::Open(Hive::LocalMachine, L"S\\PrinterX", key).ok());
    EXPECT_EQ(Key::DeleteTree(Hive::LocalMachine, L"S\\Printer").error, Error::NotFound);
    EXPECT_EQ(Key::DeleteTree(Hive::LocalMachine, L"").error, Error::InvalidArgument);
    EXPECT_EQ(ReadBytes(HklmFile()).find("Printer\\"), std::string::npos);
}

// A missing hive is empty, and its folder appears with the first write.
TEST_F(RegistryKeyTest, MissingHiveIsEmptyUntilTheFirstWrite) {
    Key root;
    ASSERT_TRUE(Key::Open(Hive::LocalMachine, L"", root).ok());
    std::vector<std::wstring> subkeys{L"stale"};
    ASSERT_TRUE(root.EnumSubKeys(subkeys).ok());
    EXPECT_TRUE(subkeys.empty());
    EXPECT_FALSE(std::filesystem::exists(dir_));
    MustCreate(Hive::LocalMachine, L"SOFTWARE");
    EXPECT_EQ(ReadBytes(HklmFile()), "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n");
}

// HKCR reads HKCU\Software\Classes before HKLM\SOFTWARE\Classes and lists both; a per-user
// registration must override the machine one without hiding the machine's other entries.
TEST_F(RegistryKeyTest, ClassesRootMergesUserOverMachine) {
    MustCreate(Hive::LocalMachine, L"SOFTWARE\\Classes\\QUVO.Printer").SetValue(L"", Value::String(L"machine"));
    MustCreate(Hive::LocalMachine, L"SOFTWARE\\Classes\\QUVO.Printer").SetValue(L"OnlyMachine", Value::DWord(1));
    MustCreate(Hive::LocalMachine, L"SOFTWARE\\Classes\\QUVO.Printer\\CLSID");
    MustCreate(Hive::CurrentUser, L"Software\\Classes\\quvo.printer").SetValue(L"", Value::String(L"user"));
    MustCreate(Hive::CurrentUser, L"Software\\Classes\\quvo.printer\\CurVer");

    Key key;
    ASSERT_TRUE(Key::Open(Hive::ClassesRoot, L"QUVO.PRINTER", key).ok());
    EXPECT_EQ(key.GetString(L""), L"user");
    Value v;
    ASSERT_TRUE(key.QueryValue(L"OnlyMachine", v).ok());
    std::vector<NamedValue> values;
    ASSERT_TRUE(key.EnumValues(values).ok());
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].value.text, L"user");
    std::vector<std::wstring> subkeys;
    ASSERT_TRUE(key.EnumSubKeys(subkeys).ok());
    EXPECT_EQ(subkeys, (std::vector<std::wstring>{L"CLSID", L"CurVer"}));
    Key root;
    ASSERT_TRUE(Key::Open(Hive::ClassesRoot, L"", root).ok());
    ASSERT_TRUE(root.EnumSubKeys(subkeys).ok());
    EXPECT_EQ(subkeys, std::vector<std::wstring>{L"quvo.printer"});
}

// Writes through HKCR land in HKLM unless the key exists per user only; deletion through
// HKCR clears both hives so the key leaves the merged view.
TEST_F(RegistryKeyTest, ClassesRootWritesGoWhereTheKeyLives) {
    Key created;
    ASSERT_TRUE(Key::Create(Hive::ClassesRoot, L"New.Class", created).ok());
    ASSERT_TRUE(created.SetValue(L"", Value::String(L"m")).ok());
    Key check;
    EXPECT_TRUE(Key::Open(Hive::LocalMachine, L"SOFTWARE\\Classes\\New.Class", check).ok());
    EXPECT_EQ(check.GetString(L""), L"m");

    MustCreate(Hive::CurrentUser, L"Software\\Classes\\User.Class");
    Key userOnly;
    ASSERT_TRUE(Key::Open(Hive::ClassesRoot, L"User.Class", userOnly).ok());
    ASSERT_TRUE(userOnly.SetValue(L"v", Value::DWord(7)).ok());
    ASSERT_TRUE(Key::Open(Hive::CurrentUser, L"Software\\Classes\\User.Class", check).ok());
    Value v;
    EXPECT_TRUE(check.QueryValue(L"v", v).ok());
    EXPECT_EQ(Key::Open(Hive::LocalMachine, L"SOFTWARE\\Classes\\User.Class", check).error, Error::NotFound);

    MustCreate(Hive::CurrentUser, L"Software\\Classes\\New.Class");
    ASSERT_TRUE(Key::DeleteTree(Hive::ClassesRoot, L"new.class").ok());
    EXPECT_EQ(Key::Open(Hive::ClassesRoot, L"New.Class", check).error, Error::NotFound);
}

// Hive locations follow the environment: QUVO_REGISTRY_DIR for both, otherwise the XDG
// config folder (or ~/.config) for HKCU and /etc/quvo for HKLM.
TEST(RegistryLocationTest, HiveFilesFollowTheEnvironment) {
    const char* savedHome = std::getenv("HOME");
    const std::string home = savedHome ? savedHome : "";
    unsetenv("QUVO_REGISTRY_DIR");
    setenv("XDG_CONFIG_HOME", "/xdg", 1);
    EXPECT_EQ(HiveFilePath(Hive::CurrentUser), "/xdg/quvo/HKCU.reg");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(HiveFilePath(Hive::CurrentUser), "/home/someone/.config/quvo/HKCU.reg");
    EXPECT_EQ(HiveFilePath(Hive::LocalMachine), "/etc/quvo/HKLM.reg");
    setenv("QUVO_REGISTRY_DIR", "/r", 1);
    EXPECT_EQ(HiveFilePath(Hive::CurrentUser), "/r/HKCU.reg");
    EXPECT_EQ(HiveFilePath(Hive::LocalMachine), "/r/HKLM.reg");
    unsetenv("QUVO_REGISTRY_DIR");
    if (savedHome) setenv("HOME", home.c_str(), 1);
}

TEST(RegistryLocationTest, RootedPathsAcceptLongAndShortRoots) {
    const struct {
        const wchar_t* rooted;
        bool ok;
        Hive hive;
        const wchar_t* path;
    } cases[] = {
        {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\X", true, Hive::LocalMachine, L"SOFTWARE\\X"},
        {L"hklm", true, Hive::LocalMachine, L""},
        {L"HKCU\\Software", true, Hive::CurrentUser, L"Software"},
        {L"HKEY_CLASSES_ROOT\\CLSID", true, Hive::ClassesRoot, L"CLSID"},
        {L"HKEY_USERS\\x", false, Hive::LocalMachine, L""},
        {L"HKLMX\\a", false, Hive::LocalMachine, L""},
    };
    for (const auto& c : cases) {
        Hive hive = Hive::LocalMachine;
        std::wstring path;
        EXPECT_EQ(ParseRootedPath(c.rooted, hive, path), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(hive, c.hive);
        EXPECT_EQ(path, c.path);
    }
}

}  // namespace
}  // namespace QVO::Platform::Registry
