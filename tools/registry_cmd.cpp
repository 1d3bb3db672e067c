// `quvo registry`: import and export .reg files and show keys of the registry store.
#include "tools/Command.h"

#include "platform/registry/RegText.h"
#include "platform/registry/Registry.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

namespace Reg = QVO::Platform::Registry;
using QVO::Tools::kExitFailure;
using QVO::Tools::kExitOk;
using QVO::Tools::kExitUsage;

const char kGroupHelp[] =
    "Usage: quvo registry VERB ARGS...\n"
    "Reads and writes the registry store (hive files in .reg format).\n\n"
    "Verbs:\n"
    "  import FILE               merge a .reg file (regedit's UTF-16 or REGEDIT4, or UTF-8)\n"
    "  export KEY FILE [--utf16] write KEY and everything below it as a .reg file\n"
    "  show KEY                  print KEY, its subkeys and their values\n\n"
    "KEY starts with its root: HKEY_LOCAL_MACHINE (HKLM), HKEY_CURRENT_USER (HKCU) or\n"
    "HKEY_CLASSES_ROOT (HKCR), e.g. 'HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS'.\n"
    "The hive files are in $QUVO_REGISTRY_DIR when set.\n"
    "Exit status: 0 done, 1 failed, 2 bad command line.\n";

const char kImportHelp[] =
    "Usage: quvo registry import FILE\n"
    "Writes every key and value of the .reg FILE into the store; [-KEY] lines delete a key\n"
    "and \"name\"=- lines a value. FILE must be a regular file of at most 64 MB; keys keep\n"
    "the Windows limits (names of up to 255 characters, 512 levels, 32767 characters in all).\n"
    "The import reaches every hive it touches or none: nothing is written when FILE cannot\n"
    "be parsed or one of the hive files cannot be written.\n";

const char kExportHelp[] =
    "Usage: quvo registry export KEY FILE [--utf16]\n"
    "Writes KEY and everything below it to FILE as \"Windows Registry Editor Version 5.00\",\n"
    "in UTF-8, or with --utf16 in UTF-16LE with BOM and CRLF as regedit writes it.\n";

const char kShowHelp[] =
    "Usage: quvo registry show KEY\n"
    "Prints KEY and every key below it, indented; keys end in '\\', values are shown as\n"
    "name, type (REG_SZ, REG_DWORD, ...) and data; the default value is \"(Default)\".\n";

bool IsHelp(const char* arg) { return !std::strcmp(arg, "--help") || !std::strcmp(arg, "-h"); }

int Usage(const char* help, const char* problem) {
    std::fprintf(stderr, "quvo registry: %s\n%s", problem, help);
    return kExitUsage;
}

int Failed(const Reg::Status& status) {
    std::fprintf(stderr, "quvo registry: %s\n", status.message.c_str());
    return kExitFailure;
}

std::string Utf8(std::wstring_view text) {
    std::wstring printable;
    for (wchar_t c : text) printable.push_back(Reg::Text::IsScalarValue(c) ? c : L'\uFFFD');
    return Reg::Text::EncodeUtf8(printable);
}

// A KEY argument: root and path. False (with a message) when it names no known root.
bool ParseKeyArgument(const char* arg, Reg::Hive& hive, std::wstring& path) {
    std::wstring wide;
    size_t bad = 0;
    if (!Reg::Text::DecodeUtf8(arg, wide, bad) || !Reg::ParseRootedPath(wide, hive, path)) {
        std::fprintf(stderr,
                     "quvo registry: '%s' is not a key; it must start with HKEY_LOCAL_MACHINE, "
                     "HKEY_CURRENT_USER or HKEY_CLASSES_ROOT (or HKLM, HKCU, HKCR)\n",
                     arg);
        return false;
    }
    return true;
}

std::string FormatData(const Reg::Value& v) {
    char buffer[32];
    switch (v.type) {
        case Reg::ValueType::String:
        case Reg::ValueType::ExpandString:
            return Utf8(v.text);
        case Reg::ValueType::DWord:
            std::snprintf(buffer, sizeof buffer, "0x%08x (%u)", v.dword, v.dword);
            return buffer;
        case Reg::ValueType::MultiString: {
            std::string out;
            for (size_t i = 0; i < v.multi.size(); ++i) out += (i ? "\\0" : "") + Utf8(v.multi[i]);
            return out;
        }
        default: {
            std::string out;
            for (size_t i = 0; i < v.bytes.size(); ++i) {
                std::snprintf(buffer, sizeof buffer, i ? " %02x" : "%02x", v.bytes[i]);
                out += buffer;
            }
            return out;
        }
    }
}

Reg::Status ShowKey(Reg::Hive hive, const std::wstring& path, const std::string& title, int depth) {
    Reg::Key key;
    if (Reg::Status s = Reg::Key::Open(hive, path, key); !s) return s;
    std::vector<Reg::NamedValue> values;
    std::vector<std::wstring> subkeys;
    if (Reg::Status s = key.EnumValues(values); !s) return s;
    if (Reg::Status s = key.EnumSubKeys(subkeys); !s) return s;
    const std::string indent(static_cast<size_t>(depth) * 2, ' ');
    std::printf("%s%s\n", indent.c_str(), title.c_str());
    for (const auto& v : values) {
        const std::string name = v.name.empty() ? "(Default)" : Utf8(v.name);
        std::printf("%s  %s    %s    %s\n", indent.c_str(), name.c_str(), Reg::ValueTypeName(v.value.type),
                    FormatData(v.value).c_str());
    }
    for (const auto& sub : subkeys) {
        const std::wstring subPath = path.empty() ? sub : path + L'\\' + sub;
        if (Reg::Status s = ShowKey(hive, subPath, Utf8(sub) + "\\", depth + 1); !s) return s;
    }
    return {};
}

int RunImport(int argc, char** argv) {
    if (argc == 2 && IsHelp(argv[1])) return std::printf("%s", kImportHelp), kExitOk;
    if (argc != 2) return Usage(kImportHelp, "import takes one FILE");
    if (Reg::Status s = Reg::ImportFile(argv[1]); !s) return Failed(s);
    return kExitOk;
}

int RunExport(int argc, char** argv) {
    std::vector<const char*> positional;
    bool utf16 = false;
    for (int i = 1; i < argc; ++i) {
        if (IsHelp(argv[i])) return std::printf("%s", kExportHelp), kExitOk;
        if (!std::strcmp(argv[i], "--utf16"))
            utf16 = true;
        else if (argv[i][0] == '-' && argv[i][1] == '-')
            return Usage(kExportHelp, "unknown option");
        else
            positional.push_back(argv[i]);
    }
    if (positional.size() != 2) return Usage(kExportHelp, "export takes KEY and FILE");
    Reg::Hive hive;
    std::wstring path;
    if (!ParseKeyArgument(positional[0], hive, path)) return kExitUsage;
    if (Reg::Status s = Reg::ExportFile(hive, path, positional[1], utf16); !s) return Failed(s);
    return kExitOk;
}

int RunShow(int argc, char** argv) {
    if (argc == 2 && IsHelp(argv[1])) return std::printf("%s", kShowHelp), kExitOk;
    if (argc != 2) return Usage(kShowHelp, "show takes one KEY");
    Reg::Hive hive;
    std::wstring path;
    if (!ParseKeyArgument(argv[1], hive, path)) return kExitUsage;
    if (Reg::Status s = ShowKey(hive, path, argv[1], 0); !s) return Failed(s);
    return kExitOk;
}

int RunRegistry(int argc, char** argv) {
    if (argc < 2) return Usage(kGroupHelp, "missing verb");
    const char* verb = argv[1];
    if (IsHelp(verb) || !std::strcmp(verb, "help")) return std::printf("%s", kGroupHelp), kExitOk;
    if (!std::strcmp(verb, "import")) return RunImport(argc - 1, argv + 1);
    if (!std::strcmp(verb, "export")) return RunExport(argc - 1, argv + 1);
    if (!std::strcmp(verb, "show")) return RunShow(argc - 1, argv + 1);
    std::fprintf(stderr, "quvo registry: unknown verb '%s'\n%s", verb, kGroupHelp);
    return kExitUsage;
}

const QVO::Tools::CommandRegistration registration{"registry", "import, export and show registry keys (.reg files)",
                                                   &RunRegistry};

}  // namespace
