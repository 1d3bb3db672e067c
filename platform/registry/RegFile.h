// The .reg text format: parsing a file held in memory into operations, and writing a key tree.
//
// Reads what regedit writes: "Windows Registry Editor Version 5.00" in UTF-16LE (with or
// without BOM) or UTF-8 (with or without BOM), and "REGEDIT4" in Windows-1252; CRLF or LF.
// Writes "Windows Registry Editor Version 5.00" in UTF-8 with LF, or UTF-16LE with BOM and
// CRLF exactly as regedit exports. Pure functions, safe from any thread.
#pragma once

#include "platform/registry/KeyTree.h"
#include "platform/registry/Registry.h"

#include <string>
#include <string_view>
#include <vector>

namespace QVO::Platform::Registry::RegFile {

// One line's effect, in file order.
struct Operation {
    enum class Action { CreateKey, DeleteKey, SetValue, DeleteValue };

    Action action = Action::CreateKey;
    Hive hive = Hive::LocalMachine;
    KeyPath key;        // below the hive's root
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
bool Parse(std::string_view bytes, Document& doc, ParseError& error);

enum class Encoding { Utf8, Utf16Le };

// The full name of a hive's root as regedit writes it ("HKEY_LOCAL_MACHINE").
const wchar_t* RootName(Hive hive);

// Writes `node` as the section `rootedPath` and every key below it as its own section, keys
// in case-insensitive order. An empty `node` section is written only when `writeEmptyTop`
// (an export of a key names that key; a hive file has no section for its root).
std::string Serialize(const KeyNode& node, std::wstring_view rootedPath, Encoding encoding, bool writeEmptyTop);

}  // namespace QVO::Platform::Registry::RegFile
