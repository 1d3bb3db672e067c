// Helpers shared by the registry tests: a private registry folder per test, file access, UTF-16.
#pragma once

#include "platform/registry/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace QVO::Platform::Registry::Testing {

inline std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// ASCII/BMP text as UTF-16LE with BOM, LF turned into CRLF: a regedit file.
inline std::string RegeditUtf16(const std::wstring& text) {
    std::string out = "\xFF\xFE";
    for (wchar_t c : text) {
        if (c == L'\n') out += std::string("\r\0", 2);
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
    }
    return out;
}

// Points the store at a fresh folder for the test's life.
class TempRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::path(::testing::TempDir()) / "quvo-reg-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        dir_ = root_ / "registry";
        setenv("QUVO_REGISTRY_DIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("QUVO_REGISTRY_DIR");
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    std::filesystem::path HklmFile() const { return dir_ / "HKLM.reg"; }
    std::filesystem::path HkcuFile() const { return dir_ / "HKCU.reg"; }

    std::filesystem::path root_;  // scratch space of the test
    std::filesystem::path dir_;   // QUVO_REGISTRY_DIR
};

}  // namespace QVO::Platform::Registry::Testing
