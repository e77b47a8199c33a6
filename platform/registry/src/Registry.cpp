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

// Gives a file this process owns the store's file mode.
void own_file_mode(int fd) {
    struct stat st;
    if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 07777) != kStoreFileMode)
        ::fchmod(fd, kStoreFileMode);
}

// Holds the hive's lock file with flock for one operation.
class HiveLock {
public:
    HiveLock(const std::string& path, bool exclusive) {
        m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kStoreFileMode);
        if (m_fd >= 0)
            own_file_mode(m_fd);
        if (m_fd < 0 && !exclusive)
            m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0)
            return;
        int rc;
        while ((rc = ::flock(m_fd, exclusive ? LOCK_EX : LOCK_SH)) == -1 && errno == EINTR) {
        }
        m_locked = rc == 0;
    }
    ~HiveLock() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool locked() const { return m_locked; }

private:
    int m_fd = -1;
    bool m_locked = false;
};

// Makes the store's folder and the missing folders above it, whatever the umask: those
// above searchable by everyone (0755), the store's own with the store's mode and the
// access group.
bool make_dirs(const std::string& path) {
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
            if (store)
                if (const auto group = platform::access_group_id())
                    (void)::fchown(dir, static_cast<uid_t>(-1), *group);
            const bool ok = ::fchmod(dir, store ? kStoreFolderMode : 0755) == 0;
            ::close(dir);
            if (!ok)
                return false;
        }
    }
    return true;
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

// One operation on one hive: load (under the lock), let the caller look or change,
// and for changes write the whole file back atomically.
class HiveSession {
public:
    HiveSession(const std::string& root, Hive hive, bool exclusive)
        : m_root(root), m_name(hive_name(hive)), m_file(root + "/" + m_name + ".reg"),
          m_lock(exclusive ? (make_dirs(root), root + "/" + m_name + ".reg.lock")
                           : root + "/" + m_name + ".reg.lock",
                 exclusive) {}

    long load() {
        int fd = ::open(m_file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT)
                return kSuccess; // an empty hive
            return kAccessDenied;
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
        if (!m_lock.locked())
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
        std::string temp =
            temp_prefix() + std::to_string(::getpid()) + "." + std::to_string(random());
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kStoreFileMode);
        if (fd < 0)
            return kAccessDenied;
        ::fchmod(fd, kStoreFileMode);
        bool ok = write_all(fd, text) && ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        if (!ok || ::rename(temp.c_str(), m_file.c_str()) != 0) {
            ::unlink(temp.c_str());
            return kAccessDenied;
        }
        int dir = ::open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return kSuccess;
    }

    detail::HiveData hive;

private:
    std::string temp_prefix() const { return m_file + ".tmp."; }

    // A writer killed between creating its temporary file and renaming it leaves the file
    // behind. Every writer makes its temporary file under the exclusive lock, which this
    // session holds: any such file now is one a dead writer left.
    void remove_stale_temporaries() const {
        DIR* dir = ::opendir(m_root.c_str());
        if (!dir)
            return;
        const std::string prefix = std::string(m_name) + ".reg.tmp.";
        while (const dirent* entry = ::readdir(dir))
            if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0)
                ::unlinkat(::dirfd(dir), entry->d_name, 0);
        ::closedir(dir);
    }

    std::string m_root;
    const char* m_name;
    std::string m_file;
    HiveLock m_lock;
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

} // namespace

Registry::Registry() {
    const char* env = std::getenv("ALTIREN_REGISTRY_ROOT");
    m_root = env && *env ? env : "/var/lib/altiren/registry";
}

Registry::Registry(std::string root) : m_root(std::move(root)) {}

long Registry::createKey(Hive hive, const std::string& path) const {
    if (!storable_name(path))
        return kInvalidParameter;
    HiveSession session(m_root, hive, true);
    if (long rc = session.load())
        return rc;
    auto parts = split_path(path);
    if (key_exists(session.hive, parts))
        return kSuccess;
    session.hive.create(parts);
    return session.save();
}

long Registry::openKey(Hive hive, const std::string& path) const {
    HiveSession session(m_root, hive, false);
    if (long rc = session.load())
        return rc;
    return key_exists(session.hive, split_path(path)) ? kSuccess : kFileNotFound;
}

long Registry::deleteKey(Hive hive, const std::string& path) const {
    auto parts = split_path(path);
    if (parts.empty())
        return kAccessDenied;
    HiveSession session(m_root, hive, true);
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
    HiveSession session(m_root, hive, true);
    if (long rc = session.load())
        return rc;
    const KeyRecord* target = session.hive.find(parts);
    if (!target)
        return kFileNotFound;
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
    HiveSession session(m_root, hive, false);
    auto parts = split_path(path);
    if (long rc = load_existing(session, parts))
        return rc;
    for (const KeyRecord& key : session.hive.keys)
        if (key.path.size() == parts.size() + 1 && detail::is_below(key.path, parts))
            names.push_back(key.path.back());
    return kSuccess;
}

long Registry::enumValues(Hive hive, const std::string& path,
                          std::vector<std::string>& names) const {
    names.clear();
    HiveSession session(m_root, hive, false);
    auto parts = split_path(path);
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
    HiveSession session(m_root, hive, false);
    if (long rc = session.load())
        return rc;
    const KeyRecord* key = find_key(session.hive, split_path(path));
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
    HiveSession session(m_root, hive, true);
    if (long rc = session.load())
        return rc;
    auto parts = split_path(path);
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
    HiveSession session(m_root, hive, true);
    if (long rc = session.load())
        return rc;
    KeyRecord* key = session.hive.find(split_path(path));
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
