// The .reg text format: parsing a file held in memory into operations, and writing a key tree.
//
// Reads what regedit writes: "Windows Registry Editor Version 5.00" in UTF-16LE (with or
// without BOM) or UTF-8 (with or without BOM), and "REGEDIT4" in Windows-1252; CRLF or LF.
// Writes "Windows Registry Editor Version 5.00" in UTF-8 with LF, or UTF-16LE with BOM and
// CRLF exactly as regedit exports. Pure functions, safe from any thread.
#pragma once

#include "platform/registry/KeyTree.h"
#include "platform/registry/Registry.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace QVO::Platform::Registry::RegFile {

// The first line of every file written, and of the files regedit writes since Windows 2000.
inline constexpr std::wstring_view kHeader = L"Windows Registry Editor Version 5.00";

// One line's effect, in file order.
struct Operation {
    enum class Action { CreateKey, DeleteKey, SetValue, DeleteValue };

    Action action = Action::CreateKey;
    Hive hive = Hive::LocalMachine;
    // Below the hive's root. Shared by the section's line and every value line in it, so a
    // long path costs its memory once, not once per value.
    std::shared_ptr<const KeyPath> key = std::make_shared<const KeyPath>();
    std::wstring name;  // value name; empty for the default value
    Value value;        // SetValue only
    int line = 0;       // where the key section or the value line starts
};

struct Document {
    bool regedit4 = false;  // "REGEDIT4": ANSI text in hex(1)/hex(2)/hex(7) data
    std::vector<Operation> operations;
};

struct ParseError {
    int line = 0;
    std::string what;
};

// Applies one operation to the tree of its hive (`op.key` taken below `root`). Deleting a
// missing key or value is no error, as in regedit. False when nothing changed.
bool Apply(KeyNode& root, const Operation& op);

// Parses a whole file. On failure nothing of `doc` is meaningful and `error` says where.
// Key paths beyond the limits of KeyTree.h are errors of their line.
bool Parse(std::string_view bytes, Document& doc, ParseError& error);

enum class Encoding { Utf8, Utf16Le };

// The full name of a hive's root as regedit writes it ("HKEY_LOCAL_MACHINE").
const wchar_t* RootName(Hive hive);

// Which sections a file gets.
enum class Layout {
    // Every key below `node` its own section and `node` itself too, as regedit exports.
    Export,
    // Only the sections that carry something: a key with values, and a key without subkeys.
    // A key that only holds subkeys is made again by their sections (the parser creates the
    // parents of every section), so it needs none. This keeps a hive file as long as its
    // deepest paths, not as long as the sum of every path along them.
    Hive,
};

// Writes `node` as the section `rootedPath` and the keys below it, keys in case-insensitive
// order, sections as `layout` says.
std::string Serialize(const KeyNode& node, std::wstring_view rootedPath, Encoding encoding, Layout layout);

}  // namespace QVO::Platform::Registry::RegFile
