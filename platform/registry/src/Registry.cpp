#include "platform/Registry.h"

#include "HiveFile.h"

#include "platform/AccessGroup.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::registry {

using detail::equal_nocase;
using detail::KeyRecord;
using detail::NamedValue;
using detail::split_path;

Value Value::Sz(std::string s) {
    Value v;
    v.type = ValueType::Sz;
    v.text = std::move(s);
    return v;
}

Value Value::Dword(uint32_t d) {
    Value v;
    v.type = ValueType::Dword;
    v.dword = d;
    return v;
}

Value Value::MultiSz(std::vector<std::string> list) {
    Value v;
    v.type = ValueType::MultiSz;
    v.strings = std::move(list);
    return v;
}

Value Value::Binary(std::vector<uint8_t> data) {
    Value v;
    v.type = ValueType::Binary;
    v.bytes = std::move(data);
    return v;
}

bool Value::operator==(const Value& other) const {
    if (type != other.type)
        return false;
    switch (type) {
    case ValueType::Sz:
        return text == other.text;
    case ValueType::Dword:
        return dword == other.dword;
    case ValueType::MultiSz:
        return strings == other.strings;
    case ValueType::Binary:
        return bytes == other.bytes;
    }
    return false;
}

std::optional<Hive> parse_hive(const std::string& name) {
    if (equal_nocase(name, "HKEY_LOCAL_MACHINE") || equal_nocase(name, "HKLM"))
        return Hive::LocalMachine;
    if (equal_nocase(name, "HKEY_CURRENT_USER") || equal_nocase(name, "HKCU"))
        return Hive::CurrentUser;
    return std::nullopt;
}

const char* hive_name(Hive hive) {
    return hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

namespace {

// The store is shared by root and the access group: its folder is setgid and group
// writable, so that every file made in it belongs to the group, and its files are group
// writable whatever the umask.
constexpr mode_t kStoreFolderMode = 02775;
constexpr mode_t kStoreFileMode = 0664;
// The root-only part: readable by everyone, written by root alone; its lock is root's.
constexpr mode_t kSystemFolderMode = 0755;
constexpr mode_t kSystemFileMode = 0644;
constexpr mode_t kSystemLockMode = 0600;

// Where one part of the store lies and how its files are made.
struct Part {
    std::string folder;
    bool rootOnly = false;
    mode_t fileMode() const { return rootOnly ? kSystemFileMode : kStoreFileMode; }
    mode_t lockMode() const { return rootOnly ? kSystemLockMode : kStoreFileMode; }
};

Part shared_part(const std::string& root) {
    return Part{root, false};
}

Part system_part(const std::string& root) {
    return Part{system_folder_of(root), true};
}

// Root's, or this process's own: what no one else has made.
bool trusted_owner(const struct stat& st) {
    return st.st_uid == 0 || st.st_uid == ::geteuid();
}

bool root_alone(const struct stat& st) {
    return trusted_owner(st) && (st.st_mode & 022) == 0;
}

// The root-only folder open as `dir` can be trusted: root's alone, and where no one else
// can put another in its place (its parent is root's alone, or sticky).
bool trusted_folder(int dir, const std::string& path) {
    struct stat st;
    if (::fstat(dir, &st) != 0 || !S_ISDIR(st.st_mode) || !root_alone(st))
        return false;
    const auto slash = path.find_last_of('/');
    const std::string parent = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    struct stat up;
    return ::stat(parent.c_str(), &up) == 0 && trusted_owner(up) &&
           ((up.st_mode & 022) == 0 || (up.st_mode & S_ISVTX) != 0);
}

// Gives a file this process owns the mode of its part.
void own_file_mode(int fd, mode_t mode) {
    struct stat st;
    if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 07777) != mode)
        ::fchmod(fd, mode);
}

// Makes the store's folder and the missing folders above it, whatever the umask: those
// above searchable by everyone (0755), the store's own with `mode` (given the access group
// when `group`).
bool make_dirs(const std::string& path, mode_t mode, bool group) {
    std::string prefix;
    for (size_t pos = 0; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') {
            prefix = path.substr(0, pos);
            if (prefix.empty())
                continue;
            if (::mkdir(prefix.c_str(), 0755) != 0) {
                if (errno != EEXIST)
                    return false;
                continue;
            }
            const bool store = path.find_first_not_of('/', pos) == std::string::npos;
            const int dir = ::open(prefix.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (dir < 0)
                return false;
            if (store && group)
                if (const auto id = platform::access_group_id())
                    (void)::fchown(dir, static_cast<uid_t>(-1), *id);
            const bool ok = ::fchmod(dir, store ? mode : 0755) == 0;
            ::close(dir);
            if (!ok)
                return false;
        }
    }
    return true;
}

bool make_part(const Part& part) {
    return part.rootOnly ? make_dirs(part.folder, kSystemFolderMode, false)
                         : make_dirs(part.folder, kStoreFolderMode, true);
}

bool write_all(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// An exclusive or shared flock on a lock file in a part's folder, open as `dir`.
class FileLock {
public:
    FileLock() = default;
    FileLock(int dir, const std::string& name, mode_t mode, bool exclusive) {
        if (dir < 0)
            return;
        m_fd = ::openat(dir, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, mode);
        if (m_fd >= 0)
            own_file_mode(m_fd, mode);
        if (m_fd < 0 && !exclusive)
            m_fd = ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (m_fd < 0)
            return;
        int rc;
        while ((rc = ::flock(m_fd, exclusive ? LOCK_EX : LOCK_SH)) == -1 && errno == EINTR) {
        }
        m_locked = rc == 0;
    }
    FileLock(FileLock&& other) noexcept { *this = std::move(other); }
    FileLock& operator=(FileLock&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        std::swap(m_locked, other.m_locked);
        return *this;
    }
    ~FileLock() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool locked() const { return m_locked; }

private:
    int m_fd = -1;
    bool m_locked = false;
};

// One operation on one part of one hive: load (under the lock), let the caller look or
// change, and for changes write the whole file back atomically. Every file is reached
// through the folder's descriptor, so that a folder renamed meanwhile changes nothing.
class HiveSession {
public:
    HiveSession(const Part& part, Hive hive, bool exclusive)
        : m_part(part), m_name(hive_name(hive)), m_file(std::string(m_name) + ".reg") {
        if (exclusive)
            make_part(m_part);
        m_dir = ::open(m_part.folder.c_str(),
                       O_RDONLY | O_DIRECTORY | O_CLOEXEC | (m_part.rootOnly ? O_NOFOLLOW : 0));
        m_missing = m_dir < 0 && errno == ENOENT;
        if (m_dir >= 0 && m_part.rootOnly && !trusted_folder(m_dir, m_part.folder)) {
            m_untrusted = true;
            return;
        }
        m_lock = FileLock(m_dir, m_file + ".lock", m_part.lockMode(), exclusive);
    }
    ~HiveSession() {
        if (m_dir >= 0)
            ::close(m_dir);
    }
    HiveSession(const HiveSession&) = delete;
    HiveSession& operator=(const HiveSession&) = delete;

    // Whether the hive's file is there.
    bool exists() const {
        struct stat st;
        return m_dir >= 0 && ::fstatat(m_dir, m_file.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    }

    long load() {
        if (m_untrusted)
            return kAccessDenied;
        if (m_dir < 0)
            return m_missing ? kSuccess : kAccessDenied; // no folder: an empty hive
        int fd = ::openat(m_dir, m_file.c_str(),
                          O_RDONLY | O_CLOEXEC | (m_part.rootOnly ? O_NOFOLLOW : 0));
        if (fd < 0) {
            if (errno == ENOENT)
                return kSuccess; // an empty hive
            return kAccessDenied;
        }
        struct stat st;
        if (m_part.rootOnly && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !root_alone(st))) {
            ::close(fd);
            return kAccessDenied; // made or changed by someone else
        }
        std::string text;
        char buffer[8192];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                ::close(fd);
                return kAccessDenied;
            }
            text.append(buffer, static_cast<size_t>(n));
        }
        ::close(fd);
        std::string error;
        if (!detail::parse_hive_text(m_name, text, hive, error))
            return kInvalidData;
        return kSuccess;
    }

    long save() {
        if (m_untrusted || !m_lock.locked())
            return kAccessDenied;
        // Only what reads back as this very hive is written: a text the reader would
        // take otherwise (or not at all) leaves the file as it was.
        const std::string text = detail::format_hive(m_name, hive);
        detail::HiveData back;
        std::string error;
        if (!detail::parse_hive_text(m_name, text, back, error) || !detail::same_hive(back, hive))
            return kInvalidData;
        remove_stale_temporaries();
        std::random_device random;
        const std::string temp =
            temp_prefix() + std::to_string(::getpid()) + "." + std::to_string(random());
        const mode_t mode = m_part.fileMode();
        int fd = ::openat(m_dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          mode);
        if (fd < 0)
            return kAccessDenied;
        ::fchmod(fd, mode);
        bool ok = write_all(fd, text) && ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        if (!ok || ::renameat(m_dir, temp.c_str(), m_dir, m_file.c_str()) != 0) {
            ::unlinkat(m_dir, temp.c_str(), 0);
            return kAccessDenied;
        }
        ::fsync(m_dir);
        return kSuccess;
    }

    detail::HiveData hive;

private:
    std::string temp_prefix() const { return m_file + ".tmp."; }

    // A writer killed between creating its temporary file and renaming it leaves the file
    // behind. Every writer makes its temporary file under the exclusive lock, which this
    // session holds: any such file now is one a dead writer left.
    void remove_stale_temporaries() const {
        const int copy = ::dup(m_dir);
        DIR* dir = copy < 0 ? nullptr : ::fdopendir(copy);
        if (!dir) {
            if (copy >= 0)
                ::close(copy);
            return;
        }
        const std::string prefix = temp_prefix();
        while (const dirent* entry = ::readdir(dir))
            if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0)
                ::unlinkat(m_dir, entry->d_name, 0);
        ::closedir(dir);
    }

    Part m_part;
    const char* m_name;
    std::string m_file;
    int m_dir = -1;
    bool m_missing = false;
    bool m_untrusted = false;
    FileLock m_lock;
};

const KeyRecord* find_key(const detail::HiveData& hive, const std::vector<std::string>& path) {
    return hive.find(path);
}

bool key_exists(const detail::HiveData& hive, const std::vector<std::string>& path) {
    return path.empty() || find_key(hive, path) != nullptr;
}

// A line break in a key or value name would split its line of the hive file and
// leave the whole hive unreadable.
bool storable_name(const std::string& name) {
    return name.find_first_of("\r\n") == std::string::npos;
}

// Loads the hive and checks that the key exists.
long load_existing(HiveSession& session, const std::vector<std::string>& parts) {
    if (long rc = session.load())
        return rc;
    return key_exists(session.hive, parts) ? kSuccess : kFileNotFound;
}

const std::vector<std::string>& root_only_path() {
    static const std::vector<std::string> path = split_path(kRootOnlyKey);
    return path;
}

// Whether `parts` starts with `prefix`, names compared without case.
bool starts_with(const std::vector<std::string>& parts, const std::vector<std::string>& prefix) {
    if (parts.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (!equal_nocase(parts[i], prefix[i]))
            return false;
    return true;
}

// Where a key lives: in the root-only part, or the shared one (which also answers for the
// keys above the root-only key).
bool is_root_only(Hive hive, const std::vector<std::string>& parts) {
    return hive == Hive::LocalMachine && starts_with(parts, root_only_path());
}

bool is_above_root_only(Hive hive, const std::vector<std::string>& parts) {
    return hive == Hive::LocalMachine && parts.size() < root_only_path().size() &&
           starts_with(root_only_path(), parts);
}

// An earlier layout kept the root-only keys in the shared hive. The first process that
// can make the root-only part (root) moves them there, once: the root-only file, even
// empty, marks the move as made.
void move_root_only_keys(const std::string& root) {
    const Part system = system_part(root);
    {
        HiveSession look(system, Hive::LocalMachine, false);
        if (look.exists() || ::access(root.c_str(), F_OK) != 0)
            return;
    }
    if (::geteuid() != 0) {
        // Only a process that may write the root-only part moves anything.
        const bool made = ::access(system.folder.c_str(), F_OK) == 0;
        const auto slash = system.folder.find_last_of('/');
        const std::string parent =
            slash == std::string::npos ? "." : system.folder.substr(0, slash);
        if (::access(made ? system.folder.c_str() : parent.c_str(), W_OK) != 0)
            return;
    }
    HiveSession target(system, Hive::LocalMachine, true);
    if (target.exists() || target.load() != kSuccess)
        return;
    HiveSession source(shared_part(root), Hive::LocalMachine, true);
    if (source.load() != kSuccess)
        return; // a damaged shared hive: tried again next time
    std::vector<KeyRecord> kept;
    for (KeyRecord& key : source.hive.keys) {
        if (starts_with(key.path, root_only_path()))
            target.hive.create(key.path).values = key.values; // with the keys above it
        else
            kept.push_back(key);
    }
    if (target.save() != kSuccess)
        return;
    if (kept.size() != source.hive.keys.size()) {
        source.hive.keys = std::move(kept);
        source.save();
    }
}

// The part that holds `parts`; the root-only keys of an earlier layout are moved first.
Part part_for(const std::string& root, Hive hive, const std::vector<std::string>& parts) {
    if (!is_root_only(hive, parts))
        return shared_part(root);
    move_root_only_keys(root);
    return system_part(root);
}

} // namespace

std::string system_folder_of(const std::string& root) {
    std::string folder = root;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder + "-system";
}

Registry::Registry() {
    const char* env = std::getenv("ALTIREN_REGISTRY_ROOT");
    m_root = env && *env ? env : "/var/lib/altiren/registry";
}

Registry::Registry(std::string root) : m_root(std::move(root)) {}

std::string Registry::systemFolder() const {
    return system_folder_of(m_root);
}

long Registry::createKey(Hive hive, const std::string& path) const {
    if (!storable_name(path))
        return kInvalidParameter;
    auto parts = split_path(path);
    HiveSession session(part_for(m_root, hive, parts), hive, true);
    if (long rc = session.load())
        return rc;
    if (key_exists(session.hive, parts))
        return kSuccess;
    session.hive.create(parts);
    return session.save();
}

long Registry::openKey(Hive hive, const std::string& path) const {
    auto parts = split_path(path);
    HiveSession session(part_for(m_root, hive, parts), hive, false);
    if (long rc = session.load())
        return rc;
    if (key_exists(session.hive, parts))
        return kSuccess;
    if (is_above_root_only(hive, parts))
        return openKey(hive, kRootOnlyKey);
    return kFileNotFound;
}

long Registry::deleteKey(Hive hive, const std::string& path) const {
    auto parts = split_path(path);
    if (parts.empty())
        return kAccessDenied;
    if (is_above_root_only(hive, parts) && openKey(hive, kRootOnlyKey) == kSuccess)
        return kKeyHasChildren;
    HiveSession session(part_for(m_root, hive, parts), hive, true);
    if (long rc = session.load())
        return rc;
    auto& keys = session.hive.keys;
    for (const KeyRecord& key : keys)
        if (detail::is_below(key.path, parts))
            return kKeyHasChildren;
    const KeyRecord* target = session.hive.find(parts);
    if (!target)
        return kFileNotFound;
    keys.erase(keys.begin() + (target - keys.data()));
    return session.save();
}

long Registry::deleteTree(Hive hive, const std::string& path) const {
    auto parts = split_path(path);
    if (parts.empty())
        return kAccessDenied;
    // A tree above the root-only key takes that key with it.
    bool below = false;
    if (is_above_root_only(hive, parts)) {
        const long rc = deleteTree(hive, kRootOnlyKey);
        if (rc != kSuccess && rc != kFileNotFound)
            return rc;
        below = rc == kSuccess;
    }
    HiveSession session(part_for(m_root, hive, parts), hive, true);
    if (long rc = session.load())
        return rc;
    const KeyRecord* target = session.hive.find(parts);
    if (!target)
        return below ? kSuccess : kFileNotFound;
    auto& keys = session.hive.keys;
    std::vector<KeyRecord> kept;
    for (KeyRecord& key : keys)
        if (&key != target && !detail::is_below(key.path, parts))
            kept.push_back(std::move(key));
    keys = std::move(kept);
    return session.save();
}

long Registry::enumSubkeys(Hive hive, const std::string& path,
                           std::vector<std::string>& names) const {
    names.clear();
    auto parts = split_path(path);
    HiveSession session(part_for(m_root, hive, parts), hive, false);
    long rc = load_existing(session, parts);
    if (rc != kSuccess && rc != kFileNotFound)
        return rc;
    for (const KeyRecord& key : session.hive.keys)
        if (key.path.size() == parts.size() + 1 && detail::is_below(key.path, parts))
            names.push_back(key.path.back());
    // The root-only key shows where it stands in the tree.
    if (is_above_root_only(hive, parts) && openKey(hive, kRootOnlyKey) == kSuccess) {
        const std::string& next = root_only_path()[parts.size()];
        if (std::none_of(names.begin(), names.end(),
                         [&](const std::string& n) { return equal_nocase(n, next); }))
            names.push_back(next);
        rc = kSuccess;
    }
    return rc;
}

long Registry::enumValues(Hive hive, const std::string& path,
                          std::vector<std::string>& names) const {
    names.clear();
    auto parts = split_path(path);
    HiveSession session(part_for(m_root, hive, parts), hive, false);
    if (long rc = load_existing(session, parts))
        return rc;
    if (const KeyRecord* key = find_key(session.hive, parts))
        for (const NamedValue& value : key->values)
            names.push_back(value.name);
    return kSuccess;
}

long Registry::queryValue(Hive hive, const std::string& path, const std::string& name,
                          Value& value) const {
    std::vector<Value> values;
    if (long rc = queryValues(hive, path, {name}, values))
        return rc;
    value = std::move(values.front());
    return kSuccess;
}

long Registry::queryValues(Hive hive, const std::string& path,
                           const std::vector<std::string>& names,
                           std::vector<Value>& values) const {
    auto parts = split_path(path);
    HiveSession session(part_for(m_root, hive, parts), hive, false);
    if (long rc = session.load())
        return rc;
    const KeyRecord* key = find_key(session.hive, parts);
    if (!key)
        return kFileNotFound;
    std::vector<Value> found;
    for (const std::string& name : names) {
        auto named = std::find_if(key->values.begin(), key->values.end(),
                                  [&](const NamedValue& v) { return equal_nocase(v.name, name); });
        if (named == key->values.end())
            return kFileNotFound;
        found.push_back(named->value);
    }
    values = std::move(found);
    return kSuccess;
}

long Registry::setValue(Hive hive, const std::string& path, const std::string& name,
                        const Value& value) const {
    return setValues(hive, path, {{name, value}});
}

long Registry::setValues(Hive hive, const std::string& path,
                         const std::vector<std::pair<std::string, Value>>& values) const {
    for (const auto& [name, value] : values) {
        // A multi-string list ends at its first empty string: one inside cannot be stored.
        if (value.type == ValueType::MultiSz)
            for (const std::string& s : value.strings)
                if (s.empty() || s.find('\0') != std::string::npos)
                    return kInvalidParameter;
        if (value.type == ValueType::Sz && value.text.find('\0') != std::string::npos)
            return kInvalidParameter;
        if (!storable_name(name))
            return kInvalidParameter;
    }
    auto parts = split_path(path);
    HiveSession session(part_for(m_root, hive, parts), hive, true);
    if (long rc = session.load())
        return rc;
    if (!key_exists(session.hive, parts))
        return kFileNotFound;
    KeyRecord& key = session.hive.create(parts);
    for (const auto& [name, value] : values) {
        bool replaced = false;
        for (NamedValue& named : key.values) {
            if (equal_nocase(named.name, name)) {
                named.value = value;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            key.values.push_back(NamedValue{name, value});
    }
    return session.save();
}

long Registry::deleteValue(Hive hive, const std::string& path, const std::string& name) const {
    auto parts = split_path(path);
    HiveSession session(part_for(m_root, hive, parts), hive, true);
    if (long rc = session.load())
        return rc;
    KeyRecord* key = session.hive.find(parts);
    if (!key)
        return kFileNotFound;
    for (auto it = key->values.begin(); it != key->values.end(); ++it) {
        if (equal_nocase(it->name, name)) {
            key->values.erase(it);
            return session.save();
        }
    }
    return kFileNotFound;
}

Registry::Lock::Lock(Lock&& other) noexcept : m_fd(other.m_fd) {
    other.m_fd = -1;
}

Registry::Lock::~Lock() {
    if (m_fd >= 0)
        ::close(m_fd);
}

Registry::Lock Registry::lockRootOnly(const std::string& name) const {
    Lock lock;
    const Part system = system_part(m_root);
    if (!make_part(system) || name.find('/') != std::string::npos)
        return lock;
    const int dir = ::open(system.folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0)
        return lock;
    if (trusted_folder(dir, system.folder)) {
        const int fd = ::openat(dir, (name + ".lock").c_str(),
                                O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kSystemLockMode);
        struct stat st;
        if (fd >= 0 && ::fstat(fd, &st) == 0 && root_alone(st)) {
            int rc;
            while ((rc = ::flock(fd, LOCK_EX)) == -1 && errno == EINTR) {
            }
            if (rc == 0)
                lock.m_fd = fd;
        }
        if (fd >= 0 && lock.m_fd != fd)
            ::close(fd);
    }
    ::close(dir);
    return lock;
}

long Registry::queryString(Hive hive, const std::string& path, const std::string& name,
                           std::string& text) const {
    Value value;
    if (long rc = queryValue(hive, path, name, value))
        return rc;
    if (value.type != ValueType::Sz)
        return kInvalidData;
    text = value.text;
    return kSuccess;
}

long Registry::queryDword(Hive hive, const std::string& path, const std::string& name,
                          uint32_t& dword) const {
    Value value;
    if (long rc = queryValue(hive, path, name, value))
        return rc;
    if (value.type != ValueType::Dword)
        return kInvalidData;
    dword = value.dword;
    return kSuccess;
}

} // namespace platform::registry
