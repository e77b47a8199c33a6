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

// The same keys in the same order with the same values, names in the same case.
bool same_hive(const HiveData& a, const HiveData& b);

// Checksum of the hive's layout: every key path and value name (case folded) with the
// position of its key, not the data. The layout mark of a written file carries it.
uint16_t layout_checksum(const HiveData& hive);

// Text of the .reg export style, with the layout mark on the line after the header and
// the end mark on the last line. parse() returns false on damaged text: text that does
// not parse, and text whose layout or end differs from the marks it carries (a lost key
// header, a cut file). Text without a layout mark (made by hand, or by an older writer)
// is read as it parses.
std::string format_hive(const char* hiveName, const HiveData& hive);
bool parse_hive_text(const char* hiveName, const std::string& text, HiveData& hive,
                     std::string& error);

} // namespace platform::registry::detail
