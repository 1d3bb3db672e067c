// The registry store: Windows-style keys and typed values kept in .reg hive files.
//
// HKLM lives in $QUVO_REGISTRY_DIR/HKLM.reg (default /etc/quvo/HKLM.reg), HKCU in
// $QUVO_REGISTRY_DIR/HKCU.reg (default ${XDG_CONFIG_HOME:-~/.config}/quvo/HKCU.reg).
// HKCR is the merged view of HKLM\SOFTWARE\Classes and HKCU\Software\Classes, HKCU first;
// writes through HKCR go to HKLM unless the key exists per user only (then to HKCU).
//
// Key and value names compare case-insensitively and keep the case they were created with.
// Every change is a flock-ed read-modify-write that replaces the hive file atomically, so two
// processes writing at once lose nothing and a reader never sees half a file. A damaged hive
// is reported with its file and line and is never overwritten.
//
// Thread safety: every function may be called from any thread; each call reads the hive file
// afresh (or from a cache validated by the file's identity and modification time).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace QVO::Platform::Registry {

enum class Hive { LocalMachine, CurrentUser, ClassesRoot };

// The Windows type numbers, so values can be shown and exported with their real names.
enum class ValueType : uint32_t {
    None = 0,          // REG_NONE
    String = 1,        // REG_SZ
    ExpandString = 2,  // REG_EXPAND_SZ
    Binary = 3,        // REG_BINARY
    DWord = 4,         // REG_DWORD
    MultiString = 7,   // REG_MULTI_SZ
    // Any other type number (REG_QWORD = 11, ...) may arrive by import; such values keep
    // their raw data in Value::bytes and are written back as hex(N).
};

// "REG_SZ", "REG_DWORD", ... ("REG_UNKNOWN" beyond REG_QWORD). Static storage.
const char* ValueTypeName(ValueType type);

// One typed value. Only the member that belongs to `type` is meaningful.
struct Value {
    ValueType type = ValueType::None;
    std::wstring text;                // String, ExpandString
    uint32_t dword = 0;               // DWord
    std::vector<uint8_t> bytes;       // Binary, None
    std::vector<std::wstring> multi;  // MultiString

    static Value String(std::wstring s);
    static Value ExpandString(std::wstring s);
    static Value DWord(uint32_t v);
    static Value Binary(std::vector<uint8_t> b);
    static Value MultiString(std::vector<std::wstring> v);

    bool operator==(const Value&) const = default;
};

enum class Error {
    None = 0,
    NotFound,         // key or value missing
    AccessDenied,     // the hive file or its folder cannot be written (or read)
    Corrupt,          // the hive file cannot be parsed; `message` names file and line
    IoError,          // any other system failure; `message` has the errno text
    InvalidArgument,  // empty or malformed key path, bad hive for the operation
};

// The outcome of an operation: Error::None, or an error with a human-readable message that
// names the file (and line, for parse errors) involved.
struct Status {
    Error error = Error::None;
    std::string message;

    bool ok() const { return error == Error::None; }
    explicit operator bool() const { return ok(); }
};

// A value together with its name, as enumerated. The default value has an empty name.
struct NamedValue {
    std::wstring name;
    Value value;
};

// A handle to an existing key. It holds only the hive and the path: the key may be deleted
// by someone else after it was opened, and later calls then fail with Error::NotFound.
// Copyable on purpose: it is a name, not a resource.
class Key {
public:
    Key() = default;

    // Opens an existing key. A missing key is Error::NotFound, never an empty key.
    // `path` uses backslashes ("SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter").
    // The empty path opens the hive's root.
    static Status Open(Hive hive, std::wstring_view path, Key& out);

    // Opens a key, creating it and any missing parents. Fails on Error::AccessDenied when the
    // key is missing and the hive cannot be written (an existing key needs no write).
    // Key names: 1 to 255 characters, no NUL, CR or LF; an empty part is InvalidArgument.
    // As on Windows a path has at most 512 names and 32 767 characters below its root (an
    // HKCR key counts the two of Software\Classes in its hive); beyond: InvalidArgument.
    static Status Create(Hive hive, std::wstring_view path, Key& out);

    // Deletes a key with every subkey and value under it. A missing key is Error::NotFound;
    // a hive's root is InvalidArgument. Through HKCR the key goes from both hives in one
    // change: from both or, on an error, from neither.
    static Status DeleteTree(Hive hive, std::wstring_view path);

    Hive hive() const { return hive_; }
    // The path as the caller gave it on Open/Create.
    const std::wstring& path() const { return path_; }

    // The empty name queries the default value. Missing value: Error::NotFound.
    Status QueryValue(std::wstring_view name, Value& out) const;
    // Creates or replaces the value; the name keeps its first spelling's case if it exists.
    // Names with NUL, CR or LF, and data no hive file can hold, are InvalidArgument.
    Status SetValue(std::wstring_view name, const Value& value) const;
    // Missing value: Error::NotFound. Through HKCR the value goes from both hives, as
    // DeleteTree's key does.
    Status DeleteValue(std::wstring_view name) const;

    // Subkey names in a stable order (case-insensitive alphabetical), with their stored case.
    Status EnumSubKeys(std::vector<std::wstring>& out) const;
    // Values in a stable order (default value first, then case-insensitive alphabetical).
    Status EnumValues(std::vector<NamedValue>& out) const;

    // Convenience: a REG_SZ value, std::nullopt when missing or of another type.
    std::optional<std::wstring> GetString(std::wstring_view name) const;

private:
    Key(Hive hive, std::wstring path) : hive_(hive), path_(std::move(path)) {}

    Hive hive_ = Hive::LocalMachine;
    std::wstring path_;
};

// Splits "HKEY_LOCAL_MACHINE\\SOFTWARE\\X" (or HKLM\\..., HKEY_CURRENT_USER, HKCU,
// HKEY_CLASSES_ROOT, HKCR) into hive and path. False on an unknown root.
bool ParseRootedPath(std::wstring_view rooted, Hive& hive, std::wstring& path);

// The hive file of HKLM or HKCU as configured by the environment (for messages and tests);
// for HKCR the HKLM file, where its writes normally go.
std::string HiveFilePath(Hive hive);

// .reg import: every key and value in the file is written to the store in one change of
// every hive the file touches, applied to all of them or, on any error, to none (only a
// crash between the renames of the two hive files can leave one applied). Reads "Windows Registry
// Editor Version 5.00" and "REGEDIT4" files, in UTF-16LE with BOM or UTF-8 (with or without
// BOM) or ANSI (Windows-1252); CRLF or LF; line continuations; "[-KEY]" deletions and
// "name"=- value deletions. HKEY_CLASSES_ROOT entries are routed as through Key, line by
// line (deletions reach both hives). `file` must be a regular file of at most 64 MB;
// anything else (a folder, a FIFO, a device) is refused before it is read. A file that does
// not parse, or names a key beyond the limits of Key::Create, changes nothing
// (Error::Corrupt, "file:line: what").
Status ImportFile(const std::string& file);

// .reg export of KEY and everything under it, as "Windows Registry Editor Version 5.00"
// in UTF-8 (LF line ends); `utf16` writes UTF-16LE with BOM and CRLF as regedit does.
Status ExportFile(Hive hive, std::wstring_view path, const std::string& file, bool utf16 = false);

}  // namespace QVO::Platform::Registry
