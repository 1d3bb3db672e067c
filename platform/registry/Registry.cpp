// The key API of the registry store: keys and values of HKLM, HKCU and the merged HKCR view.
#include "platform/registry/Registry.h"

#include "platform/registry/HiveFile.h"
#include "platform/registry/KeyTree.h"
#include "platform/registry/RegFile.h"
#include "platform/registry/RegText.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

namespace QVO::Platform::Registry {

namespace {

// Where HKCR lives in each hive; HKCU's spelling first, as it is looked at first.
const KeyPath kUserClasses = {L"Software", L"Classes"};
const KeyPath kMachineClasses = {L"SOFTWARE", L"Classes"};

KeyPath Join(const KeyPath& prefix, const KeyPath& rest) {
    KeyPath out = prefix;
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

std::string Narrow(std::wstring_view s) {
    std::wstring printable;
    for (wchar_t c : s) printable.push_back(Text::IsScalarValue(c) ? c : L'?');
    return Text::EncodeUtf8(printable);
}

std::string DisplayName(Hive hive, std::wstring_view path) {
    std::wstring name = RegFile::RootName(hive);
    if (!path.empty()) name += L'\\' + std::wstring(path);
    return Narrow(name);
}

Status NotFound(std::string what) { return {Error::NotFound, std::move(what)}; }

Status KeyNotFound(Hive hive, std::wstring_view path) {
    return NotFound("key " + DisplayName(hive, path) + " not found");
}

// One physical place of a key: a real hive and the full path inside it.
struct Place {
    Hive hive;
    KeyPath path;
};

// The physical places of a key, in lookup order: one for HKLM and HKCU, two for HKCR.
std::vector<Place> PlacesOf(Hive hive, const KeyPath& path) {
    if (hive != Hive::ClassesRoot) return {{hive, path}};
    return {{Hive::CurrentUser, Join(kUserClasses, path)}, {Hive::LocalMachine, Join(kMachineClasses, path)}};
}

// The tree of each place, loaded once per call.
struct Loaded {
    Place place;
    std::shared_ptr<const KeyNode> root;
    const KeyNode* key = nullptr;  // nullptr when the key is missing there
};

Status LoadPlaces(Hive hive, std::wstring_view path, std::vector<Loaded>& out) {
    KeyPath parts;
    if (Status s = SplitKeyPath(path, parts); !s) return s;
    out.clear();
    for (auto& place : PlacesOf(hive, parts)) {
        Loaded loaded{std::move(place), nullptr, nullptr};
        if (Status s = HiveFile::Load(loaded.place.hive, loaded.root); !s) return s;
        loaded.key = FindKey(*loaded.root, loaded.place.path);
        out.push_back(std::move(loaded));
    }
    return {};
}

bool AnyKey(const std::vector<Loaded>& places) {
    for (const auto& p : places)
        if (p.key) return true;
    return false;
}

// Where a change through HKCR goes: HKLM, unless the key exists per user only.
const Place& WritePlace(const std::vector<Loaded>& places) {
    if (places.size() == 2 && places[0].key && !places[1].key) return places[0].place;
    return places.back().place;
}

// Runs a change on an existing key; the key may have gone since it was opened.
Status ChangeKey(const Place& place, Hive shownHive, std::wstring_view shownPath,
                 const std::function<Status(KeyNode& key, bool& changed)>& change) {
    return HiveFile::Update(place.hive, [&](KeyNode& root, bool& changed) -> Status {
        KeyNode* key = FindKey(root, place.path);
        if (!key) {
            changed = false;
            return KeyNotFound(shownHive, shownPath);
        }
        return change(*key, changed);
    });
}

Status ValueNotFound(Hive hive, std::wstring_view path, std::wstring_view name) {
    return NotFound("value \"" + Narrow(name) + "\" not found in " + DisplayName(hive, path));
}

// Import files are read whole into memory; no registry export comes near this.
constexpr size_t kMaxImportBytes = 64 * 1024 * 1024;

// The hives an imported file may change: HKCR entries can land in either.
std::vector<Hive> HivesOf(const RegFile::Document& doc) {
    bool machine = false;
    bool user = false;
    for (const auto& op : doc.operations) {
        machine = machine || op.hive != Hive::CurrentUser;
        user = user || op.hive != Hive::LocalMachine;
    }
    std::vector<Hive> hives;
    if (machine) hives.push_back(Hive::LocalMachine);
    if (user) hives.push_back(Hive::CurrentUser);
    return hives;
}

Status LineError(const std::string& file, int line, const std::string& what) {
    return {Error::Corrupt, file + ":" + std::to_string(line) + ": " + what};
}

// An HKCR deletion reaches both hives, so the entry leaves the merged view.
void DeleteClassesEntry(const RegFile::Operation& op, HiveFile::Trees& trees) {
    for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine}) {
        KeyNode* classes = FindKey(*trees.Root(hive), hive == Hive::CurrentUser ? kUserClasses : kMachineClasses);
        if (classes && RegFile::Apply(*classes, op)) trees.MarkChanged(hive);
    }
}

// Where any other HKCR line goes, routed as through the key API against the trees as the
// file has left them so far: to HKLM unless the key exists per user only. `classes` is the
// Classes key of that hive, created when missing (`created`).
Status ClassesTarget(const RegFile::Operation& op, const std::string& file, HiveFile::Trees& trees, Hive& hive,
                     KeyNode*& classes, bool& created) {
    const KeyNode* userClasses = FindKey(*trees.Root(Hive::CurrentUser), kUserClasses);
    const KeyNode* machineClasses = FindKey(*trees.Root(Hive::LocalMachine), kMachineClasses);
    const bool inUser = userClasses && FindKey(*userClasses, *op.key);
    const bool inMachine = machineClasses && FindKey(*machineClasses, *op.key);
    hive = inUser && !inMachine ? Hive::CurrentUser : Hive::LocalMachine;
    const KeyPath& prefix = hive == Hive::CurrentUser ? kUserClasses : kMachineClasses;
    if (Status s = CheckKeyPathLimits(prefix, *op.key); !s)
        return LineError(file, op.line,
                         s.message + " below " + Narrow(RegFile::RootName(hive)) + "\\" + Narrow(prefix[0]) + "\\" +
                             Narrow(prefix[1]));
    created = CreateKey(*trees.Root(hive), prefix, &classes);
    return {};
}

// The key of the section being applied: its value lines go straight to it instead of
// walking a path of up to 512 names once per line.
struct Section {
    const KeyPath* path = nullptr;
    Hive hive = Hive::LocalMachine;
    KeyNode* node = nullptr;
};

// Applies every line of an imported file in file order, each to the tree of its hive.
Status ApplyImport(const RegFile::Document& doc, const std::string& file, HiveFile::Trees& trees) {
    using Action = RegFile::Operation::Action;
    Section section;
    for (const auto& op : doc.operations) {
        if (op.action == Action::SetValue && op.key.get() == section.path) {
            if (section.node->SetValue(op.name, op.value)) trees.MarkChanged(section.hive);
            continue;
        }
        if (op.action == Action::DeleteKey || op.action == Action::DeleteValue) {
            if (op.action == Action::DeleteKey) section = {};
            if (op.hive == Hive::ClassesRoot)
                DeleteClassesEntry(op, trees);
            else if (RegFile::Apply(*trees.Root(op.hive), op))
                trees.MarkChanged(op.hive);
            continue;
        }
        Hive hive = op.hive;
        KeyNode* base = trees.Root(op.hive);
        bool changed = false;
        if (op.hive == Hive::ClassesRoot) {
            if (Status s = ClassesTarget(op, file, trees, hive, base, changed); !s) return s;
        }
        KeyNode* node = nullptr;
        changed = CreateKey(*base, *op.key, &node) || changed;
        if (op.action == Action::SetValue)
            changed = node->SetValue(op.name, op.value) || changed;
        else
            section = {op.key.get(), hive, node};
        if (changed) trees.MarkChanged(hive);
    }
    return {};
}

// The names of the key's path below its root as stored (HKCU's spelling first for HKCR).
std::vector<std::wstring> StoredSpelling(const std::vector<Loaded>& places) {
    for (const auto& loaded : places) {
        if (!loaded.key) continue;
        std::vector<std::wstring> names;
        const KeyNode* node = loaded.root.get();
        for (const auto& part : loaded.place.path) {
            node = node->FindChild(part);
            names.push_back(node->name);
        }
        const size_t prefix = places.size() == 2 ? 2 : 0;  // HKCR: past Software\\Classes
        return std::vector<std::wstring>(names.begin() + static_cast<std::ptrdiff_t>(prefix), names.end());
    }
    return {};
}

Status WriteWholeFile(const std::string& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        const int err = errno;
        return {err == EACCES || err == EROFS ? Error::AccessDenied : Error::IoError,
                "cannot write " + file + ": " + std::strerror(err)};
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) return {Error::IoError, "cannot write " + file};
    return {};
}

}  // namespace

const char* ValueTypeName(ValueType type) {
    static const char* const kNames[] = {
        "REG_NONE",
        "REG_SZ",
        "REG_EXPAND_SZ",
        "REG_BINARY",
        "REG_DWORD",
        "REG_DWORD_BIG_ENDIAN",
        "REG_LINK",
        "REG_MULTI_SZ",
        "REG_RESOURCE_LIST",
        "REG_FULL_RESOURCE_DESCRIPTOR",
        "REG_RESOURCE_REQUIREMENTS_LIST",
        "REG_QWORD",
    };
    const auto n = static_cast<uint32_t>(type);
    return n < std::size(kNames) ? kNames[n] : "REG_UNKNOWN";
}

Value Value::String(std::wstring s) {
    Value v;
    v.type = ValueType::String;
    v.text = std::move(s);
    return v;
}

Value Value::ExpandString(std::wstring s) {
    Value v;
    v.type = ValueType::ExpandString;
    v.text = std::move(s);
    return v;
}

Value Value::DWord(uint32_t d) {
    Value v;
    v.type = ValueType::DWord;
    v.dword = d;
    return v;
}

Value Value::Binary(std::vector<uint8_t> b) {
    Value v;
    v.type = ValueType::Binary;
    v.bytes = std::move(b);
    return v;
}

Value Value::MultiString(std::vector<std::wstring> items) {
    Value v;
    v.type = ValueType::MultiString;
    v.multi = std::move(items);
    return v;
}

Status Key::Open(Hive hive, std::wstring_view path, Key& out) {
    std::vector<Loaded> places;
    if (Status s = LoadPlaces(hive, path, places); !s) return s;
    if (!AnyKey(places)) return KeyNotFound(hive, path);
    out = Key(hive, std::wstring(path));
    return {};
}

Status Key::Create(Hive hive, std::wstring_view path, Key& out) {
    std::vector<Loaded> places;
    if (Status s = LoadPlaces(hive, path, places); !s) return s;
    const Place& target = WritePlace(places);
    // HKCR keys live two levels down in their hive, which the limits must leave room for.
    if (Status s = CheckKeyPathLimits({}, target.path); !s) return s;
    const bool exists = hive == Hive::ClassesRoot ? AnyKey(places) : places.front().key != nullptr;
    // An existing key needs no write, so opening one this way works on a read-only hive.
    if (!exists) {
        Status s = HiveFile::Update(target.hive, [&](KeyNode& root, bool& changed) -> Status {
            changed = CreateKey(root, target.path);
            return {};
        });
        if (!s) return s;
    }
    out = Key(hive, std::wstring(path));
    return {};
}

Status Key::DeleteTree(Hive hive, std::wstring_view path) {
    std::vector<Loaded> places;
    if (Status s = LoadPlaces(hive, path, places); !s) return s;
    if (places.front().place.path.empty()) return {Error::InvalidArgument, "the root of a hive cannot be deleted"};
    if (!AnyKey(places)) return KeyNotFound(hive, path);
    // Through HKCR the key goes from both hives in one change, so it leaves the merged view
    // entirely or not at all.
    std::vector<Hive> hives;
    for (const auto& loaded : places)
        if (loaded.key) hives.push_back(loaded.place.hive);
    return HiveFile::UpdateTogether(hives, [&](HiveFile::Trees& trees) -> Status {
        for (const auto& loaded : places) {
            KeyNode* root = trees.Root(loaded.place.hive);
            if (root && Registry::DeleteKey(*root, loaded.place.path)) trees.MarkChanged(loaded.place.hive);
        }
        return {};
    });
}

Status Key::QueryValue(std::wstring_view name, Value& out) const {
    std::vector<Loaded> places;
    if (Status s = LoadPlaces(hive_, path_, places); !s) return s;
    if (!AnyKey(places)) return KeyNotFound(hive_, path_);
    const std::wstring folded = Text::FoldCase(name);
    for (const auto& loaded : places) {
        if (!loaded.key) continue;
        auto it = loaded.key->values.find(folded);
        if (it != loaded.key->values.end()) {
            out = it->second.value;
            return {};
        }
    }
    return ValueNotFound(hive_, path_, name);
}

Status Key::SetValue(std::wstring_view name, const Value& value) const {
    if (Status s = CheckValueName(name); !s) return s;
    if (Status s = CheckValue(value); !s) return s;
    const auto setValue = [&](KeyNode& key, bool& changed) -> Status {
        changed = key.SetValue(name, value);
        return {};
    };
    if (hive_ != Hive::ClassesRoot) {
        // No look beforehand: the change itself finds the key under the lock.
        KeyPath parts;
        if (Status s = SplitKeyPath(path_, parts); !s) return s;
        return ChangeKey({hive_, std::move(parts)}, hive_, path_, setValue);
    }
    std::vector<Loaded> places;
    if (Status s = LoadPlaces(hive_, path_, places); !s) return s;
    if (!AnyKey(places)) return KeyNotFound(hive_, path_);
    // The write place always holds the key: HKCU only when the key is there alone.
    return ChangeKey(WritePlace(places), hive_, path_, setValue);
}

Status Key::DeleteValue(std::wstring_view name) const {
    std::vector<Loaded> places;
    if (Status s = LoadPlaces(hive_, path_, places); !s) return s;
    if (!AnyKey(places)) return KeyNotFound(hive_, path_);
    const std::wstring folded = Text::FoldCase(name);
    std::vector<Hive> hives;
    for (const auto& loaded : places)
        if (loaded.key && loaded.key->values.count(folded)) hives.push_back(loaded.place.hive);
    if (hives.empty()) return ValueNotFound(hive_, path_, name);
    // Through HKCR the value goes from both hives in one change, as DeleteTree does.
    return HiveFile::UpdateTogether(hives, [&](HiveFile::Trees& trees) -> Status {
        bool keyFound = false;
        for (const auto& loaded : places) {
            KeyNode* root = trees.Root(loaded.place.hive);
            KeyNode* key = root ? FindKey(*root, loaded.place.path) : nullptr;
            if (!key) continue;
            keyFound = true;
            if (key->EraseValue(name)) trees.MarkChanged(loaded.place.hive);
        }
        return keyFound ? Status{} : KeyNotFound(hive_, path_);
    });
}

Status Key::EnumSubKeys(std::vector<std::wstring>& out) const {
    std::vector<Loaded> places;
    if (Status s = LoadPlaces(hive_, path_, places); !s) return s;
    if (!AnyKey(places)) return KeyNotFound(hive_, path_);
    std::map<std::wstring, std::wstring> merged;  // folded → stored name; the first place wins
    for (const auto& loaded : places) {
        if (!loaded.key) continue;
        for (const auto& [folded, child] : loaded.key->subkeys) merged.try_emplace(folded, child->name);
    }
    out.clear();
    for (auto& [folded, name] : merged) out.push_back(std::move(name));
    return {};
}

Status Key::EnumValues(std::vector<NamedValue>& out) const {
    std::vector<Loaded> places;
    if (Status s = LoadPlaces(hive_, path_, places); !s) return s;
    if (!AnyKey(places)) return KeyNotFound(hive_, path_);
    std::map<std::wstring, NamedValue> merged;
    for (const auto& loaded : places) {
        if (!loaded.key) continue;
        for (const auto& [folded, named] : loaded.key->values) merged.try_emplace(folded, named);
    }
    out.clear();
    for (auto& [folded, named] : merged) out.push_back(std::move(named));
    return {};
}

std::optional<std::wstring> Key::GetString(std::wstring_view name) const {
    Value v;
    if (!QueryValue(name, v) || v.type != ValueType::String) return std::nullopt;
    return v.text;
}

bool ParseRootedPath(std::wstring_view rooted, Hive& hive, std::wstring& path) {
    static const struct {
        std::wstring_view name;
        Hive hive;
    } kRoots[] = {
        {L"HKEY_LOCAL_MACHINE", Hive::LocalMachine}, {L"HKLM", Hive::LocalMachine},
        {L"HKEY_CURRENT_USER", Hive::CurrentUser},   {L"HKCU", Hive::CurrentUser},
        {L"HKEY_CLASSES_ROOT", Hive::ClassesRoot},   {L"HKCR", Hive::ClassesRoot},
    };
    const size_t slash = rooted.find(L'\\');
    const std::wstring root = Text::FoldCase(rooted.substr(0, slash));
    for (const auto& r : kRoots) {
        if (root != r.name) continue;
        hive = r.hive;
        path = slash == std::wstring_view::npos ? std::wstring() : std::wstring(rooted.substr(slash + 1));
        return true;
    }
    return false;
}

std::string HiveFilePath(Hive hive) { return HiveFile::PathOf(hive == Hive::ClassesRoot ? Hive::LocalMachine : hive); }

Status ImportFile(const std::string& file) {
    std::string bytes;
    if (Status s = HiveFile::ReadRegularFile(file, kMaxImportBytes, bytes); !s) return s;
    RegFile::Document doc;
    RegFile::ParseError error;
    if (!RegFile::Parse(bytes, doc, error)) return LineError(file, error.line, error.what);
    bytes = std::string();  // the parsed form is all that is needed from here on
    const std::vector<Hive> hives = HivesOf(doc);
    if (hives.empty()) return {};  // a hive the file does not touch is not written (nor locked)
    return HiveFile::UpdateTogether(hives, [&](HiveFile::Trees& trees) { return ApplyImport(doc, file, trees); });
}

Status ExportFile(Hive hive, std::wstring_view path, const std::string& file, bool utf16) {
    std::vector<Loaded> places;
    if (Status s = LoadPlaces(hive, path, places); !s) return s;
    if (!AnyKey(places)) return KeyNotFound(hive, path);
    // The merged view of HKCR is exported as one tree, per-user entries winning.
    KeyNode merged;
    for (const auto& loaded : places)
        if (loaded.key) MergeTree(merged, *loaded.key);
    // The section name uses the keys' stored spelling, as regedit shows them.
    std::wstring rooted = RegFile::RootName(hive);
    for (const auto& part : StoredSpelling(places)) rooted += L'\\' + part;
    const std::string bytes = RegFile::Serialize(
        merged, rooted, utf16 ? RegFile::Encoding::Utf16Le : RegFile::Encoding::Utf8, RegFile::Layout::Export);
    return WriteWholeFile(file, bytes);
}

}  // namespace QVO::Platform::Registry
