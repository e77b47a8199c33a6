// Typed key/value store standing in for the Windows registry.
//
// One text file per hive ("HKEY_LOCAL_MACHINE.reg", "HKEY_CURRENT_USER.reg") in the
// .reg export style, under the root folder $ALTIREN_REGISTRY_ROOT (default
// /var/lib/altiren/registry). Key and value names compare case-insensitively and keep
// the case first written. Nothing is cached: every call reads the file; every write
// replaces it atomically (temporary file + rename) under an exclusive flock, so two
// processes never lose each other's writes, and removes the temporary files of writers
// killed before their rename. A write stores only text that reads back as the same hive.
// A damaged file is reported (kInvalidData), never replaced: text that does not parse,
// and a written file whose keys and values no longer match its layout mark or that lost
// its end mark (see HiveFile.h; a person editing by hand deletes the mark's line).
//
// What root acts on, only root writes: the driver's service key (kRootOnlyKey of the
// local machine, with everything below it) lives in a hive file of its own in the folder
// beside the store, "<root>-system" (0755, its file 0644, its lock root's alone), which the
// group reads and only root changes; every other key stays in the shared, group-writable
// files. A process takes that part for its own only while the folder, its place (a parent
// that is root's alone, or sticky) and the file are root's (or the process's own) and
// writable by no one else; otherwise it is refused (kAccessDenied). The keys above the
// root-only key list it among their subkeys. An earlier layout kept the root-only key in
// the shared hive: the first process that may write the root-only part (root, at the
// package's --install or the daemon's start) moves it over once.
//
// Paths use backslashes like the original ("SYSTEM\\CurrentControlSet\\Services\\QL");
// forward slashes are accepted too. Results are Win32 error numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform::registry {

constexpr long kSuccess = 0;           // ERROR_SUCCESS
constexpr long kFileNotFound = 2;      // ERROR_FILE_NOT_FOUND: missing key or value
constexpr long kAccessDenied = 5;      // ERROR_ACCESS_DENIED: file cannot be read or written
constexpr long kInvalidData = 13;      // ERROR_INVALID_DATA: damaged hive file
constexpr long kInvalidParameter = 87; // ERROR_INVALID_PARAMETER
constexpr long kKeyHasChildren = 1020; // ERROR_KEY_HAS_CHILDREN

enum class Hive { LocalMachine, CurrentUser };

enum class ValueType : uint32_t { Sz = 1, Binary = 3, Dword = 4, MultiSz = 7 };

struct Value {
    ValueType type = ValueType::Sz;
    std::string text;                 // Sz
    uint32_t dword = 0;               // Dword
    std::vector<std::string> strings; // MultiSz
    std::vector<uint8_t> bytes;       // Binary

    static Value Sz(std::string s);
    static Value Dword(uint32_t d);
    static Value MultiSz(std::vector<std::string> list);
    static Value Binary(std::vector<uint8_t> data);
    bool operator==(const Value& other) const;
};

// The local machine's key that is root's alone.
inline constexpr const char* kRootOnlyKey = "SYSTEM\\CurrentControlSet\\Services\\QL";
// The folder of the root-only part of the store in `root`.
std::string system_folder_of(const std::string& root);

// "HKEY_LOCAL_MACHINE"/"HKLM" and "HKEY_CURRENT_USER"/"HKCU" (any case).
std::optional<Hive> parse_hive(const std::string& name);
const char* hive_name(Hive hive);

class Registry {
public:
    // Root from $ALTIREN_REGISTRY_ROOT, else /var/lib/altiren/registry.
    Registry();
    explicit Registry(std::string root);

    const std::string& root() const { return m_root; }
    std::string systemFolder() const;

    // An exclusive lock of root's, named `name`, in the root-only part: held across several
    // calls by whoever reads, acts on and changes root-only keys that another process may
    // change meanwhile. locked() is false where it cannot be taken (not root).
    class Lock {
    public:
        Lock(Lock&& other) noexcept;
        Lock& operator=(Lock&&) = delete;
        Lock(const Lock&) = delete;
        ~Lock();
        bool locked() const { return m_fd >= 0; }

    private:
        friend class Registry;
        Lock() = default;
        int m_fd = -1;
    };
    Lock lockRootOnly(const std::string& name) const;

    // Creates the key and any missing parents; success when it exists already.
    long createKey(Hive hive, const std::string& path) const;
    // kSuccess when the key exists, kFileNotFound when it does not.
    long openKey(Hive hive, const std::string& path) const;
    // Deletes a key without subkeys (kKeyHasChildren otherwise).
    long deleteKey(Hive hive, const std::string& path) const;
    // Deletes a key with everything below it.
    long deleteTree(Hive hive, const std::string& path) const;
    // Names of the direct subkeys / the values of a key, in stored order.
    long enumSubkeys(Hive hive, const std::string& path, std::vector<std::string>& names) const;
    long enumValues(Hive hive, const std::string& path, std::vector<std::string>& names) const;

    long queryValue(Hive hive, const std::string& path, const std::string& name,
                    Value& value) const;
    // The key must exist (kFileNotFound otherwise), like a value set on an open key.
    long setValue(Hive hive, const std::string& path, const std::string& name,
                  const Value& value) const;
    long deleteValue(Hive hive, const std::string& path, const std::string& name) const;
    // Several values of one key as one change: all are written in a single rewrite of
    // the hive, or none is (the first failing check's result).
    long setValues(Hive hive, const std::string& path,
                   const std::vector<std::pair<std::string, Value>>& values) const;
    // Several values of one key from one reading of the hive; every name must exist.
    long queryValues(Hive hive, const std::string& path, const std::vector<std::string>& names,
                     std::vector<Value>& values) const;

    // Conveniences: kInvalidData when the value has another type.
    long queryString(Hive hive, const std::string& path, const std::string& name,
                     std::string& text) const;
    long queryDword(Hive hive, const std::string& path, const std::string& name,
                    uint32_t& dword) const;

private:
    std::string m_root;
};

} // namespace platform::registry
