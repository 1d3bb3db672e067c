// Hive files on disk: locating, reading with a validated cache, and locked atomic replacement.
#include "platform/registry/HiveFile.h"

#include "platform/posix/UniqueFd.h"
#include "platform/registry/RegFile.h"
#include "platform/sync/Mutex.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <map>
#include <pwd.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace QVO::Platform::Registry::HiveFile {

namespace {

// A hive grows only through writes someone allowed, so it has no size limit of its own.
constexpr size_t kNoLimit = std::numeric_limits<size_t>::max();
constexpr size_t kReadChunk = 65536;

// Removes a temporary file unless the rename that publishes it succeeded.
class TempFileGuard {
public:
    TempFileGuard() = default;
    ~TempFileGuard() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    void Watch(std::string path) { path_ = std::move(path); }
    const std::string& path() const { return path_; }
    void Keep() { path_.clear(); }

private:
    std::string path_;
};

// The one place errno becomes a Status. Anything that says "you may not write here" is
// AccessDenied, including a folder path that runs through a file.
Status SystemError(int err, const std::string& context) {
    const bool denied = err == EACCES || err == EPERM || err == EROFS || err == ENOTDIR;
    return {denied ? Error::AccessDenied : Error::IoError, context + ": " + std::strerror(err)};
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a plain file";
}

Status NotRegular(const std::string& path, mode_t mode) {
    return {Error::IoError, "cannot read " + path + ": not a regular file (" + KindOf(mode) + ")"};
}

Status TooLarge(const std::string& path, size_t maxBytes) {
    return {Error::IoError, "cannot read " + path + ": larger than " + std::to_string(maxBytes / (1024 * 1024)) +
                                " MB, the limit for this file"};
}

struct CacheEntry {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    std::shared_ptr<const KeyNode> tree;

    bool Matches(const struct stat& st) const {
        return device == st.st_dev && inode == st.st_ino && size == st.st_size &&
               modified.tv_sec == st.st_mtim.tv_sec && modified.tv_nsec == st.st_mtim.tv_nsec;
    }
};

Mutex cacheMutex;
std::map<std::string, CacheEntry> cache QUVO_GUARDED_BY(cacheMutex);  // by hive file path

std::shared_ptr<const KeyNode> FromCache(const std::string& path, const struct stat& st) {
    MutexLock lock(cacheMutex);
    auto it = cache.find(path);
    return it != cache.end() && it->second.Matches(st) ? it->second.tree : nullptr;
}

void ToCache(const std::string& path, const struct stat& st, std::shared_ptr<const KeyNode> tree) {
    MutexLock lock(cacheMutex);
    cache[path] = {st.st_dev, st.st_ino, st.st_size, st.st_mtim, std::move(tree)};
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    struct passwd pw;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found) return found->pw_dir;
    return "/";
}

// Opens a regular file for reading. The path is looked at first, so a device is never
// opened at all; the descriptor is then opened without blocking (a FIFO swapped in
// meanwhile cannot hang us) and checked again, and that check is the one that counts.
// A missing file leaves `fd` invalid and is no error.
Status OpenRegular(const std::string& path, UniqueFd& fd, struct stat& st) {
    st = {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return {};
        return SystemError(errno, "cannot read " + path);
    }
    if (!S_ISREG(st.st_mode)) return NotRegular(path, st.st_mode);
    fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.isValid()) {
        if (errno == ENOENT || errno == ENOTDIR) return {};
        return SystemError(errno, "cannot read " + path);
    }
    if (::fstat(fd.get(), &st) != 0) return SystemError(errno, "cannot read " + path);
    if (!S_ISREG(st.st_mode)) return NotRegular(path, st.st_mode);
    return {};
}

// Reads to the end, but never more than `maxBytes` (the file may grow while it is read).
Status ReadAll(int fd, const std::string& path, size_t maxBytes, size_t expected, std::string& out) {
    out.clear();
    out.reserve(std::min(expected, maxBytes));
    char buffer[kReadChunk];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return SystemError(errno, "cannot read " + path);
        if (n == 0) return {};
        if (static_cast<size_t>(n) > maxBytes - out.size()) return TooLarge(path, maxBytes);
        out.append(buffer, static_cast<size_t>(n));
    }
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        done += static_cast<size_t>(n);  // a short write just continues from where it stopped
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
}

// Reads and parses the file at `path` into `root`; a missing file leaves `root` empty.
// `st` receives the file's identity (zeroed when missing).
Status ReadHive(const std::string& path, Hive hive, KeyNode& root, struct stat& st) {
    root = KeyNode();
    UniqueFd fd;
    if (Status s = OpenRegular(path, fd, st); !s) return s;
    if (!fd.isValid()) {
        st = {};
        return {};
    }
    std::string bytes;
    if (Status s = ReadAll(fd.get(), path, kNoLimit, static_cast<size_t>(st.st_size), bytes); !s) return s;
    return ParseHive(bytes, hive, path, root);
}

// Temporary files of writers that were killed before their rename. Only called under the
// hive lock, when no live writer can own one.
void RemoveStaleTemporaries(const std::string& path) {
    const std::filesystem::path p(path);
    const std::string prefix = p.filename().string() + ".tmp.";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(FolderOf(path), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0) ::unlink(entry.path().c_str());
    }
}

Status OpenLock(const std::string& path, UniqueFd& lock) {
    const std::string lockPath = path + ".lock";
    lock.reset(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    const int openError = errno;
    // flock works on a read-only descriptor too, so a lock file we may not write will do;
    // creating the temporary file further on then tells whether the hive can be replaced.
    if (!lock.isValid() && (openError == EACCES || openError == EROFS))
        lock.reset(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!lock.isValid()) return SystemError(openError, "cannot write " + path + ": cannot open lock file " + lockPath);
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) return SystemError(errno, "cannot write " + path + ": cannot lock " + lockPath);
    }
    return {};
}

// One hive inside a change: its lock, the tree read under it, and the file that replaces it.
struct Pending {
    Hive hive = Hive::LocalMachine;
    std::string path;
    UniqueFd lock;
    std::shared_ptr<KeyNode> root = std::make_shared<KeyNode>();
    struct stat old {};
    TempFileGuard temp;
    struct stat written {};
};

// Takes the hive's lock and reads it. A damaged hive stops here: it is reported and stays as
// it is for a person to repair.
Status LockAndRead(Pending& p) {
    p.path = PathOf(p.hive);
    const std::string folder = FolderOf(p.path);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return SystemError(ec.value(), "cannot write " + p.path + ": cannot create folder " + folder);
    if (Status s = OpenLock(p.path, p.lock); !s) return s;
    RemoveStaleTemporaries(p.path);
    return ReadHive(p.path, p.hive, *p.root, p.old);
}

// The first phase of publishing: the new contents are complete and on disk under a
// temporary name beside the hive.
Status WriteTemporary(Pending& p) {
    const mode_t mode = p.old.st_mode ? (p.old.st_mode & 07777) : (p.hive == Hive::CurrentUser ? 0600 : 0644);
    const std::string bytes =
        RegFile::Serialize(*p.root, RegFile::RootName(p.hive), RegFile::Encoding::Utf8, RegFile::Layout::Hive);
    std::string name = p.path + ".tmp.XXXXXX";
    UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.isValid())
        return SystemError(errno, "cannot write " + p.path + ": cannot create a file in " + FolderOf(p.path));
    p.temp.Watch(name);
    if (::fchmod(fd.get(), mode) != 0 || !WriteAll(fd.get(), bytes) || ::fsync(fd.get()) != 0 ||
        ::fstat(fd.get(), &p.written) != 0)
        return SystemError(errno, "cannot write " + name);
    if (::close(fd.release()) != 0) return SystemError(errno, "cannot write " + name);
    return {};
}

size_t IndexOf(Hive hive) { return hive == Hive::CurrentUser ? 1 : 0; }

}  // namespace

KeyNode* Trees::Root(Hive hive) const { return hive == Hive::ClassesRoot ? nullptr : roots_[IndexOf(hive)]; }

void Trees::MarkChanged(Hive hive) {
    if (Root(hive)) changed_[IndexOf(hive)] = true;
}

bool Trees::Changed(Hive hive) const { return Root(hive) && changed_[IndexOf(hive)]; }

std::string PathOf(Hive hive) {
    const bool user = hive == Hive::CurrentUser;
    const char* file = user ? "HKCU.reg" : "HKLM.reg";
    if (const char* dir = std::getenv("QUVO_REGISTRY_DIR"); dir && *dir) return std::string(dir) + "/" + file;
    if (!user) return "/etc/quvo/HKLM.reg";
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string config = xdg && *xdg ? std::string(xdg) : HomeFolder() + "/.config";
    return config + "/quvo/" + file;
}

Status ReadRegularFile(const std::string& path, size_t maxBytes, std::string& out) {
    UniqueFd fd;
    struct stat st;
    if (Status s = OpenRegular(path, fd, st); !s) return s;
    if (!fd.isValid()) return {Error::NotFound, "cannot read " + path + ": " + std::strerror(ENOENT)};
    if (static_cast<uint64_t>(st.st_size) > maxBytes) return TooLarge(path, maxBytes);
    return ReadAll(fd.get(), path, maxBytes, static_cast<size_t>(st.st_size), out);
}

Status ParseHive(const std::string& bytes, Hive hive, const std::string& fileName, KeyNode& root) {
    root = KeyNode();
    if (bytes.empty()) return {};  // an empty file holds nothing to lose: an empty hive
    RegFile::Document doc;
    RegFile::ParseError error;
    if (!RegFile::Parse(bytes, doc, error))
        return {Error::Corrupt, fileName + ":" + std::to_string(error.line) + ": " + error.what};
    // Values follow their key's section line, so the section's node serves them all without
    // walking the path again (hives are re-read on every change; this is the hot loop).
    KeyNode* section = nullptr;
    for (auto& op : doc.operations) {
        if (op.hive != hive)
            return {Error::Corrupt,
                    fileName + ":" + std::to_string(op.line) + ": key of another root in this hive file"};
        if (op.action == RegFile::Operation::Action::CreateKey) {
            CreateKey(root, *op.key, &section);
        } else if (op.action == RegFile::Operation::Action::SetValue && section) {
            section->SetValue(op.name, std::move(op.value));
        } else {
            RegFile::Apply(root, op);
            section = nullptr;
        }
    }
    return {};
}

Status Load(Hive hive, std::shared_ptr<const KeyNode>& out) {
    const std::string path = PathOf(hive);
    UniqueFd fd;
    struct stat st;
    if (Status s = OpenRegular(path, fd, st); !s) return s;
    if (!fd.isValid()) {
        out = std::make_shared<const KeyNode>();
        return {};
    }
    if ((out = FromCache(path, st))) return {};
    std::string bytes;
    if (Status s = ReadAll(fd.get(), path, kNoLimit, static_cast<size_t>(st.st_size), bytes); !s) return s;
    auto root = std::make_shared<KeyNode>();
    if (Status s = ParseHive(bytes, hive, path, *root); !s) return s;
    ToCache(path, st, root);
    out = std::move(root);
    return {};
}

Status UpdateTogether(std::vector<Hive> hives, const ChangeAll& change) {
    // The fixed lock order: HKLM before HKCU, whatever order the caller named them in.
    std::sort(hives.begin(), hives.end(), [](Hive a, Hive b) { return IndexOf(a) < IndexOf(b); });
    hives.erase(std::unique(hives.begin(), hives.end()), hives.end());
    for (Hive hive : hives)
        if (hive == Hive::ClassesRoot) return {Error::InvalidArgument, "HKEY_CLASSES_ROOT has no file of its own"};

    std::vector<Pending> pending(hives.size());
    Trees trees;
    for (size_t i = 0; i < hives.size(); ++i) {
        pending[i].hive = hives[i];
        if (Status s = LockAndRead(pending[i]); !s) return s;
        trees.roots_[IndexOf(hives[i])] = pending[i].root.get();
    }
    if (Status s = change(trees); !s) return s;

    // Every new file is complete and synced before any of them replaces its hive; an error
    // until then leaves all hives as they were (the guards remove the temporary files).
    std::vector<Pending*> written;
    for (auto& p : pending) {
        if (!trees.Changed(p.hive)) continue;
        if (Status s = WriteTemporary(p); !s) return s;
        written.push_back(&p);
    }
    std::set<std::string> folders;
    for (Pending* p : written) {
        if (::rename(p->temp.path().c_str(), p->path.c_str()) != 0)
            return SystemError(errno, "cannot write " + p->path);
        p->temp.Keep();
        folders.insert(FolderOf(p->path));
    }
    for (Pending* p : written) ToCache(p->path, p->written, std::move(p->root));
    // A rename is only durable once the folder's entry is on disk.
    for (const auto& folder : folders) {
        UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.isValid() && ::fsync(dir.get()) != 0 && errno != EINVAL)
            return SystemError(errno, "cannot sync folder " + folder);
    }
    return {};
}

Status Update(Hive hive, const Change& change) {
    return UpdateTogether({hive}, [&](Trees& trees) -> Status {
        bool changed = true;
        if (Status s = change(*trees.Root(hive), changed); !s) return s;
        if (changed) trees.MarkChanged(hive);
        return {};
    });
}

}  // namespace QVO::Platform::Registry::HiveFile
