// The hive files on disk: where they are, reading them, and changing them safely.
//
// A read opens the file and parses it whole (a parsed tree is cached and reused while the
// file's identity and modification time stay the same). A change takes an exclusive flock on
// "<hive>.lock" beside the file, re-reads, applies the change, writes "<hive>.tmp.XXXXXX",
// fsyncs it, renames it over the hive and fsyncs the folder: concurrent writers in any
// process serialise, and a reader or a crash sees the old file or the new one, never a mix.
//
// A change of several hives (an import touching HKLM and HKCU) is one two-phase change: the
// locks are taken in a fixed order, HKLM before HKCU, so two such changes cannot deadlock;
// every tree is changed in memory and every temporary file written and fsynced before the
// first rename. A failure before the renames (a hive that cannot be read, a lock or a
// temporary file that cannot be made, a full disk) renames nothing and leaves every hive as
// it was. Only a crash or a failing rename between the two renames can leave the first hive
// replaced and the second not.
//
// A hive path that is not a regular file (a folder, a FIFO, a device) is refused; it is
// opened without blocking, so a FIFO cannot hang the caller.
// Thread safety: all functions may be called from any thread at once.
#pragma once

#include "platform/registry/KeyTree.h"
#include "platform/registry/Registry.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace QVO::Platform::Registry::HiveFile {

// The file of LocalMachine or CurrentUser, from the environment at the time of the call.
std::string PathOf(Hive hive);

// The current tree of a hive; a missing file is an empty hive. Corrupt names file and line.
Status Load(Hive hive, std::shared_ptr<const KeyNode>& out);

// Applies `change` to the hive under the lock and writes the result. `change` sets
// `changed` to false to leave the file as it is; an error from it is passed on unwritten.
using Change = std::function<Status(KeyNode& root, bool& changed)>;
Status Update(Hive hive, const Change& change);

// The trees of the hives one change covers, each read under its lock.
class Trees {
public:
    // The tree of LocalMachine or CurrentUser; nullptr when the change does not cover it.
    KeyNode* Root(Hive hive) const;
    // Marks a covered hive for writing; hives not marked are left as they are.
    void MarkChanged(Hive hive);
    bool Changed(Hive hive) const;

private:
    friend Status UpdateTogether(std::vector<Hive> hives, const std::function<Status(Trees&)>& change);
    static constexpr size_t kHives = 2;  // LocalMachine, CurrentUser
    KeyNode* roots_[kHives] = {};
    bool changed_[kHives] = {};
};

// Changes every hive in `hives` (LocalMachine, CurrentUser) together, all or none, as the
// header comment says. An error from `change` is passed on and nothing is written.
using ChangeAll = std::function<Status(Trees& trees)>;
Status UpdateTogether(std::vector<Hive> hives, const ChangeAll& change);

// Reads a whole regular file through one descriptor opened without blocking. Anything else
// (a folder, a FIFO, a device) is refused before a byte is read, as is a file larger than
// `maxBytes`. A missing file is Error::NotFound.
Status ReadRegularFile(const std::string& path, size_t maxBytes, std::string& out);

// Parses hive file contents; every key must belong to `hive`. Exposed for tests.
Status ParseHive(const std::string& bytes, Hive hive, const std::string& fileName, KeyNode& root);

}  // namespace QVO::Platform::Registry::HiveFile
