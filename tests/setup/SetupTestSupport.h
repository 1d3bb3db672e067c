// The fixture of the utility's rule tests: a fresh registry store per test and the settings
// of the shipped OPOSInfo.ini.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "setup/core/DeviceStore.h"
#include "setup/core/SetupData.h"

namespace QVO::Test {

class SetupStoreTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "quvo-setup-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        setenv("QUVO_REGISTRY_DIR", dir_.c_str(), 1);
        info_.printerList = {L"RX4270", L"RX3380B", L"TM-T88IV"};
        info_.dllFileName = L"QUVOOposPrinterU1.13";
        info_.deviceDescription = L"QUVO printer";
        info_.haveCashDrawer2 = L"1";
        info_.modifyPrinterName = L"1";
        info_.modifyCashDrawerName = L"1";
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    static std::wstring Read(Setup::DeviceClass c, const std::wstring& entry, const wchar_t* value) {
        return Setup::RegReadText(Setup::EntryKey(c, entry), value);
    }
    static bool HasValue(const std::wstring& path, const std::wstring& name) {
        for (const auto& v : Setup::RegValueNames(path))
            if (v == name) return true;
        return false;
    }

    std::filesystem::path dir_;
    Setup::OposInfo info_;
};

}  // namespace QVO::Test
