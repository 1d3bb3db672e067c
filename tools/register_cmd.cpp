// `quvo register`: registers or unregisters the service object library (a COM in-process
// server) per machine or per user, by loading it and calling its own registration exports.
#include "tools/Command.h"
#include "tools/ServiceObjectPath.h"

#include "platform/com/ComBase.h"
#include "platform/registry/RegText.h"
#include "platform/registry/Registry.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace Reg = QVO::Platform::Registry;
using QVO::Tools::kExitFailure;
using QVO::Tools::kExitOk;
using QVO::Tools::kExitUsage;

const char kUsage[] =
    "Usage: quvo register [--user] [--unregister] [--library PATH]\n"
    "Loads the service object library and lets it write (or, with --unregister, remove) its\n"
    "COM registration: per machine under HKLM\\SOFTWARE\\Classes, or with --user per user\n"
    "under HKCU\\Software\\Classes. Then reads the store back and names every class the\n"
    "library registered (or removed). The hive files are in $QUVO_REGISTRY_DIR when set.\n\n"
    "Options:\n"
    "  --user          register for the current user only (DllInstall with \"user\")\n"
    "  --unregister    remove the registration instead\n"
    "  --library PATH  the library to register (default: %s)\n\n"
    "Exit status: 0 done, 1 failed, 2 bad command line.\n";

struct Options {
    bool user = false;
    bool unregister = false;
    std::string library = QVO::Tools::DefaultServiceObjectLibrary();
};

// A class registered to the library: its CLSID text and the name it is known by.
struct RegisteredClass {
    std::wstring clsid;
    std::wstring name;  // ProgID, else version-independent ProgID, else the CLSID
};

std::string Utf8(std::wstring_view text) { return Reg::Text::EncodeUtf8(text); }

void PrintUsage(std::FILE* to) { std::fprintf(to, kUsage, QVO::Tools::DefaultServiceObjectLibrary().c_str()); }

int Usage(const char* problem) {
    std::fprintf(stderr, "quvo register: %s\n", problem);
    PrintUsage(stderr);
    return kExitUsage;
}

// 0 when the options parse; otherwise the exit code to return (usage or help).
int ParseOptions(int argc, char** argv, Options& options, bool& help) {
    help = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            help = true;
            return kExitOk;
        }
        if (!std::strcmp(arg, "--user")) {
            options.user = true;
        } else if (!std::strcmp(arg, "--unregister")) {
            options.unregister = true;
        } else if (!std::strcmp(arg, "--library")) {
            if (i + 1 >= argc || !argv[i + 1][0]) return Usage("--library needs a PATH");
            options.library = argv[++i];
        } else {
            std::string problem = std::string("unexpected argument '") + arg + "'";
            return Usage(problem.c_str());
        }
    }
    return kExitOk;
}

// The library's handle for as long as the command runs.
class Library {
public:
    explicit Library(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~Library() {
        if (handle_) dlclose(handle_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    explicit operator bool() const { return handle_ != nullptr; }
    void* Symbol(const char* name) const { return dlsym(handle_, name); }

private:
    void* handle_;
};

// Where the scope's classes live, as the key path within its hive.
Reg::Hive ScopeHive(const Options& o) { return o.user ? Reg::Hive::CurrentUser : Reg::Hive::LocalMachine; }
std::wstring ClsidRoot(const Options& o) { return o.user ? L"Software\\Classes\\CLSID" : L"SOFTWARE\\Classes\\CLSID"; }

// Whether a registered module path names the same file as `library` (the server registers
// its own resolved path, the user may have given a link or a relative path).
bool SameFile(const std::wstring& registered, const fs::path& library) {
    std::error_code ec;
    const bool same = fs::equivalent(fs::path(Utf8(registered)), library, ec);
    return !ec && same;
}

std::wstring NameOfClass(const Options& o, const std::wstring& clsid) {
    for (const wchar_t* sub : {L"ProgID", L"VersionIndependentProgID"}) {
        Reg::Key key;
        if (Reg::Key::Open(ScopeHive(o), ClsidRoot(o) + L"\\" + clsid + L"\\" + sub, key))
            if (auto name = key.GetString(L""); name && !name->empty()) return *name;
    }
    return clsid;
}

// Every class of the scope whose InprocServer32 names `library`. A missing CLSID key is an
// empty list; a store that cannot be read is an error.
Reg::Status ClassesOf(const Options& o, const fs::path& library, std::vector<RegisteredClass>& out) {
    out.clear();
    Reg::Key root;
    if (Reg::Status s = Reg::Key::Open(ScopeHive(o), ClsidRoot(o), root); !s)
        return s.error == Reg::Error::NotFound ? Reg::Status{} : s;
    std::vector<std::wstring> clsids;
    if (Reg::Status s = root.EnumSubKeys(clsids); !s) return s;
    for (const auto& clsid : clsids) {
        Reg::Key server;
        if (!Reg::Key::Open(ScopeHive(o), ClsidRoot(o) + L"\\" + clsid + L"\\InprocServer32", server)) continue;
        if (auto path = server.GetString(L""); path && SameFile(*path, library))
            out.push_back({clsid, NameOfClass(o, clsid)});
    }
    return {};
}

const char* HresultName(HRESULT hr) {
    switch (hr) {
        case SELFREG_E_CLASS:
            return "SELFREG_E_CLASS: a class key could not be written";
        case SELFREG_E_TYPELIB:
            return "SELFREG_E_TYPELIB: a type library key could not be written";
        case E_INVALIDARG:
            return "E_INVALIDARG: the library refused the install command line";
        case E_ACCESSDENIED:
            return "E_ACCESSDENIED";
        case E_OUTOFMEMORY:
            return "E_OUTOFMEMORY";
        case E_NOTIMPL:
            return "E_NOTIMPL";
        case E_FAIL:
            return "E_FAIL";
        default:
            return "";
    }
}

// Calls the library's export for the requested operation.
bool CallExport(const Library& lib, const Options& o, const std::string& path, HRESULT& hr, std::string& called) {
    const char* symbol = o.user ? "DllInstall" : o.unregister ? "DllUnregisterServer" : "DllRegisterServer";
    called = o.user ? (o.unregister ? "DllInstall(FALSE, \"user\")" : "DllInstall(TRUE, \"user\")") : symbol;
    void* fn = lib.Symbol(symbol);
    if (!fn) {
        std::fprintf(stderr, "quvo register: %s exports no %s; it is not a COM in-process server\n", path.c_str(),
                     symbol);
        return false;
    }
    if (o.user)
        hr = reinterpret_cast<PFN_DllInstall>(fn)(o.unregister ? 0 : 1, L"user");
    else
        hr = reinterpret_cast<PFN_DllRegisterServer>(fn)();
    return true;
}

// Compares the store after the call with what the call promised.
int Report(const Options& o, const std::vector<RegisteredClass>& before, const std::vector<RegisteredClass>& after,
           const std::string& path, const std::string& called) {
    const char* scope = o.user ? "per user" : "per machine";
    const std::string hive = Reg::HiveFilePath(ScopeHive(o));
    if (!o.unregister) {
        if (after.empty()) {
            std::fprintf(stderr, "quvo register: %s answered success but no class names %s in %s\n", called.c_str(),
                         path.c_str(), hive.c_str());
            return kExitFailure;
        }
        for (const auto& c : after) std::printf("registered %s %s in %s\n", Utf8(c.name).c_str(), scope, hive.c_str());
        return kExitOk;
    }
    if (!after.empty()) {
        for (const auto& c : after)
            std::fprintf(stderr, "quvo register: %s answered success but %s %s is still registered in %s\n",
                         called.c_str(), Utf8(c.name).c_str(), Utf8(c.clsid).c_str(), hive.c_str());
        return kExitFailure;
    }
    if (before.empty()) std::printf("nothing of %s was registered %s in %s\n", path.c_str(), scope, hive.c_str());
    for (const auto& c : before) std::printf("unregistered %s %s from %s\n", Utf8(c.name).c_str(), scope, hive.c_str());
    return kExitOk;
}

int ReadFailed(const Reg::Status& s) {
    std::fprintf(stderr, "quvo register: cannot read the registry store: %s\n", s.message.c_str());
    return kExitFailure;
}

int RunRegister(int argc, char** argv) {
    Options o;
    bool help = false;
    if (int rc = ParseOptions(argc, argv, o, help); rc != kExitOk) return rc;
    if (help) return PrintUsage(stdout), kExitOk;

    // dlopen searches the library path for a bare name; the user meant a file.
    std::error_code ec;
    const fs::path library = fs::absolute(o.library, ec);
    if (ec || !fs::is_regular_file(library, ec)) {
        std::fprintf(stderr, "quvo register: no library file at %s\n", o.library.c_str());
        return kExitFailure;
    }
    const std::string path = library.string();
    std::vector<RegisteredClass> before, after;
    if (Reg::Status s = ClassesOf(o, library, before); !s) return ReadFailed(s);

    Library lib(path);
    if (!lib) {
        std::fprintf(stderr, "quvo register: cannot load %s: %s\n", path.c_str(), dlerror());
        return kExitFailure;
    }
    HRESULT hr = S_OK;
    std::string called;
    if (!CallExport(lib, o, path, hr, called)) return kExitFailure;
    if (FAILED(hr)) {
        const char* name = HresultName(hr);
        std::fprintf(stderr, "quvo register: %s of %s failed with HRESULT 0x%08X%s%s (is %s writable?)\n",
                     called.c_str(), path.c_str(), static_cast<unsigned>(hr), *name ? ", " : "", name,
                     Reg::HiveFilePath(ScopeHive(o)).c_str());
        return kExitFailure;
    }
    if (Reg::Status s = ClassesOf(o, library, after); !s) return ReadFailed(s);
    return Report(o, before, after, path, called);
}

const QVO::Tools::CommandRegistration registration{"register", "register or unregister the service object library",
                                                   &RunRegister};

}  // namespace
