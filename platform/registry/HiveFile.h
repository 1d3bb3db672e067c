// The hive files on disk: where they are, reading them, and changing them safely.
//
// A read opens the file and parses it whole (a parsed tree is cached and reused while the
// file's identity and modification time stay the same). A change takes an exclusive flock on
// "<hive>.lock" beside the file, re-reads, applies the change, writes "<hive>.tmp.XXXXXX",
// fsyncs it, renames it over the hive and fsyncs the folder: concurrent writers in any
// process serialise, and a reader or a crash sees the old file or the new one, never a mix.
// Thread safety: all functions may be called from any thread at once.
#pragma once

#include "platform/registry/KeyTree.h"
#include "platform/registry/Registry.h"

#include <functional>
#include <memory>
#include <string>

namespace QVO::Platform::Registry::HiveFile {

// The file of LocalMachine or CurrentUser, from the environment at the time of the call.
std::string PathOf(Hive hive);

// The current tree of a hive; a missing file is an empty hive. Corrupt names file and line.
Status Load(Hive hive, std::shared_ptr<const KeyNode>& out);

// Applies `change` to the hive under the lock and writes the result. `change` sets
// `changed` to false to leave the file as it is; an error from it is passed on unwritten.
using Change = std::function<Status(KeyNode& root, bool& changed)>;
Status Update(Hive hive, const Change& change);

// Parses hive file contents; every key must belong to `hive`. Exposed for tests.
Status ParseHive(const std::string& bytes, Hive hive, const std::string& fileName, KeyNode& root);

}  // namespace QVO::Platform::Registry::HiveFile
