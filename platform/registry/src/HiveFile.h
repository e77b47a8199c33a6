// In-memory form of one hive file and its text encoding.
#pragma once

#include "platform/Registry.h"

#include <string>
#include <vector>

namespace platform::registry::detail {

struct NamedValue {
    std::string name; // empty: the key's default value ("@")
    Value value;
};

struct KeyRecord {
    std::vector<std::string> path; // components below the hive, case as first written
    std::vector<NamedValue> values;
};

// Keys in stored order; every key, intermediate ones included, has its own record.
// The hive's root key is implicit and may hold values (an empty path).
struct HiveData {
    std::vector<KeyRecord> keys;

    KeyRecord* find(const std::vector<std::string>& path);
    const KeyRecord* find(const std::vector<std::string>& path) const;
    // Finds or creates the key and its parents.
    KeyRecord& create(const std::vector<std::string>& path);
};

bool equal_nocase(const std::string& a, const std::string& b);
// Splits a key path on '\' and '/', dropping empty components.
std::vector<std::string> split_path(const std::string& path);
// true when `path` lies strictly below `parent`.
bool is_below(const std::vector<std::string>& path, const std::vector<std::string>& parent);

// Text of the .reg export style. parse() returns false on damaged text.
std::string format_hive(const char* hiveName, const HiveData& hive);
bool parse_hive_text(const char* hiveName, const std::string& text, HiveData& hive,
                     std::string& error);

} // namespace platform::registry::detail
