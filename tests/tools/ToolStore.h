// The fixture of the command tests that use the registry store: a fresh store and lock folder
// per test, seen by this process and by every quvo it starts, and .reg text imported into it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <optional>
#include <string>

#include "platform/registry/RegText.h"
#include "platform/registry/Registry.h"
#include "tests/tools/ToolProcess.h"

namespace QVO::Test {

namespace Reg = QVO::Platform::Registry;

class ToolStoreTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(registry_.Path().empty());
        ASSERT_FALSE(locks_.Path().empty());
        setenv("QUVO_REGISTRY_DIR", registry_.Path().c_str(), 1);
        setenv("QUVO_LOCK_DIR", locks_.Path().c_str(), 1);
    }

    // Imports the keys and values of `body` (the part after the .reg header line).
    void Import(const std::wstring& body) {
        const std::string file = (registry_.Path() / "setup.reg").string();
        std::ofstream(file) << Reg::Text::EncodeUtf8(L"Windows Registry Editor Version 5.00\n\n" + body);
        const Reg::Status s = Reg::ImportFile(file);
        ASSERT_TRUE(s.ok()) << s.message;
    }

    std::string HivePath(const char* name) const { return (registry_.Path() / name).string(); }

    // A REG_SZ value of an existing key, or nullopt.
    static std::optional<std::wstring> StringAt(Reg::Hive hive, const std::wstring& path, const wchar_t* name = L"") {
        Reg::Key key;
        if (!Reg::Key::Open(hive, path, key)) return std::nullopt;
        return key.GetString(name);
    }

    TempDir registry_;
    TempDir locks_;
};

}  // namespace QVO::Test
