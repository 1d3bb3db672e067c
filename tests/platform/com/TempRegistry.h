// Points the registry store at a fresh temporary directory before any test touches it, and
// removes the directory when the test program ends.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace QVO::Test {

class TempRegistry {
public:
    TempRegistry() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quvo-reg-XXXXXX").string();
        if (mkdtemp(pattern.data())) dir_ = pattern;
        setenv("QUVO_REGISTRY_DIR", dir_.c_str(), 1);
    }
    ~TempRegistry() {
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    const std::string& Dir() const { return dir_; }

private:
    std::string dir_;
};

// One per test program; defined in the program's TempRegistry.cpp so it is constructed before
// main and therefore before any test.
TempRegistry& TheTempRegistry();

}  // namespace QVO::Test
