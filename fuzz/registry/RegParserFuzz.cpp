// Feeds arbitrary bytes to the .reg parser; whatever parses must write and re-read to the same tree.
#include "platform/registry/RegFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace Reg = QVO::Platform::Registry;

namespace {

constexpr const wchar_t* kRoot = L"HKEY_LOCAL_MACHINE";

// Applies the operations of every root to one tree, as an import into one hive would.
std::unique_ptr<Reg::KeyNode> Build(const Reg::RegFile::Document& doc) {
    auto root = std::make_unique<Reg::KeyNode>();
    for (auto op : doc.operations) {
        op.hive = Reg::Hive::LocalMachine;
        Reg::RegFile::Apply(*root, op);
    }
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reg::RegFile::Document doc;
    Reg::RegFile::ParseError error;
    if (!Reg::RegFile::Parse(std::string_view(reinterpret_cast<const char*>(data), size), doc, error)) {
        if (error.line < 1) std::abort();  // every error must name a line
        return 0;
    }
    // What was read must survive writing: the hive file is rewritten on every change, and an
    // export (every key its own section) must read back to the same tree as the hive form.
    const auto tree = Build(doc);
    constexpr auto kHive = Reg::RegFile::Layout::Hive;
    for (auto encoding : {Reg::RegFile::Encoding::Utf8, Reg::RegFile::Encoding::Utf16Le}) {
        const std::string written = Reg::RegFile::Serialize(*tree, kRoot, encoding, kHive);
        for (auto layout : {kHive, Reg::RegFile::Layout::Export}) {
            Reg::RegFile::Document again;
            const std::string text = Reg::RegFile::Serialize(*tree, kRoot, encoding, layout);
            if (!Reg::RegFile::Parse(text, again, error)) std::abort();
            const std::string rewritten = Reg::RegFile::Serialize(*Build(again), kRoot, encoding, kHive);
            if (rewritten != written) std::abort();
        }
    }
    return 0;
}
