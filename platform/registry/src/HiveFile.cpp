#include "HiveFile.h"

#include "AltirenChecksum/InternetChecksum.h"

#include <cctype>
#include <cstdio>

namespace platform::registry::detail {

namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00";
// The layout mark, on the line after the header: the layout checksum in four hex digits,
// then advice for a person editing the file.
const char kLayoutMark[] = "; layout ";
const char kLayoutAdvice[] =
    ": delete this line after adding, removing or renaming keys or values by hand";
// The end mark, the last line of a written file.
const char kEndMark[] = "; end";

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool same_path(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!equal_nocase(a[i], b[i]))
            return false;
    return true;
}

std::string quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

bool needs_hex(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7f)
            return true;
    return false;
}

std::string hex_bytes(const std::vector<uint8_t>& bytes) {
    std::string out;
    char buffer[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%02x", bytes[i]);
        if (i)
            out += ',';
        out += buffer;
    }
    return out;
}

// Strings inside hex(1) and hex(7) are UTF-8 bytes, each ended by a NUL.
std::vector<uint8_t> string_bytes(const std::vector<std::string>& strings, bool listEnd) {
    std::vector<uint8_t> bytes;
    for (const std::string& s : strings) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        bytes.push_back(0);
    }
    if (listEnd)
        bytes.push_back(0);
    return bytes;
}

std::string format_value(const NamedValue& named) {
    std::string line = named.name.empty() ? std::string("@") : quote(named.name);
    line += '=';
    const Value& v = named.value;
    switch (v.type) {
    case ValueType::Sz:
        // hex(1) ends its string at the first NUL: a string that holds one (a quoted
        // string of a file edited by hand may) stays quoted, as it was read.
        if (needs_hex(v.text) && v.text.find('\0') == std::string::npos)
            line += "hex(1):" + hex_bytes(string_bytes({v.text}, false));
        else
            line += quote(v.text);
        break;
    case ValueType::Dword: {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", v.dword);
        line += buffer;
        break;
    }
    case ValueType::MultiSz:
        line += "hex(7):" + hex_bytes(string_bytes(v.strings, true));
        break;
    case ValueType::Binary:
        line += "hex:" + hex_bytes(v.bytes);
        break;
    }
    return line;
}

// Reads a quoted string at text[pos] (pos at the opening quote); pos ends after it.
bool read_quoted(const std::string& text, size_t& pos, std::string& out) {
    if (pos >= text.size() || text[pos] != '"')
        return false;
    out.clear();
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '\\') {
            if (++pos >= text.size())
                return false;
            out += text[pos];
        } else if (c == '"') {
            ++pos;
            return true;
        } else {
            out += c;
        }
    }
    return false;
}

bool read_hex_list(const std::string& text, std::vector<uint8_t>& bytes) {
    bytes.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
            ++pos;
        if (pos + 2 > text.size() || !std::isxdigit(static_cast<unsigned char>(text[pos])) ||
            !std::isxdigit(static_cast<unsigned char>(text[pos + 1])))
            return false;
        bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(pos, 2), nullptr, 16)));
        pos += 2;
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
            ++pos;
        if (pos == text.size())
            break;
        if (text[pos] != ',')
            return false;
        ++pos;
    }
    return true;
}

bool split_strings(const std::vector<uint8_t>& bytes, std::vector<std::string>& out, bool list) {
    out.clear();
    if (bytes.empty() || bytes.back() != 0)
        return false;
    std::string current;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != 0) {
            current += static_cast<char>(bytes[i]);
            continue;
        }
        if (list && current.empty())
            return i == bytes.size() - 1; // the list's closing empty string
        out.push_back(current);
        current.clear();
        if (!list)
            return i == bytes.size() - 1;
    }
    // A list whose closing empty string is missing: accept what was there.
    return list;
}

bool parse_data(const std::string& data, Value& value) {
    if (!data.empty() && data[0] == '"') {
        size_t pos = 0;
        std::string text;
        if (!read_quoted(data, pos, text) || pos != data.size())
            return false;
        value = Value::Sz(text);
        return true;
    }
    auto starts = [&](const char* prefix) { return data.rfind(prefix, 0) == 0; };
    if (starts("dword:")) {
        std::string digits = data.substr(6);
        if (digits.empty() || digits.size() > 8)
            return false;
        for (char c : digits)
            if (!std::isxdigit(static_cast<unsigned char>(c)))
                return false;
        value = Value::Dword(static_cast<uint32_t>(std::stoul(digits, nullptr, 16)));
        return true;
    }
    std::vector<uint8_t> bytes;
    if (starts("hex:")) {
        if (!read_hex_list(data.substr(4), bytes))
            return false;
        value = Value::Binary(bytes);
        return true;
    }
    if (starts("hex(1):") || starts("hex(7):")) {
        bool list = data[4] == '7';
        std::vector<std::string> strings;
        if (!read_hex_list(data.substr(7), bytes))
            return false;
        if (list && bytes.empty()) {
            value = Value::MultiSz({});
            return true;
        }
        if (!split_strings(bytes, strings, list))
            return false;
        value = list ? Value::MultiSz(strings) : Value::Sz(strings.empty() ? "" : strings[0]);
        return true;
    }
    return false;
}

} // namespace

bool equal_nocase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

std::vector<std::string> split_path(const std::string& path) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!current.empty())
                parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        parts.push_back(current);
    return parts;
}

bool is_below(const std::vector<std::string>& path, const std::vector<std::string>& parent) {
    if (path.size() <= parent.size())
        return false;
    for (size_t i = 0; i < parent.size(); ++i)
        if (!equal_nocase(path[i], parent[i]))
            return false;
    return true;
}

KeyRecord* HiveData::find(const std::vector<std::string>& path) {
    for (KeyRecord& key : keys)
        if (same_path(key.path, path))
            return &key;
    return nullptr;
}

const KeyRecord* HiveData::find(const std::vector<std::string>& path) const {
    return const_cast<HiveData*>(this)->find(path);
}

KeyRecord& HiveData::create(const std::vector<std::string>& path) {
    std::vector<std::string> prefix;
    KeyRecord* record = find(prefix);
    if (!record) {
        keys.insert(keys.begin(), KeyRecord{});
        record = &keys.front();
    }
    for (const std::string& part : path) {
        prefix.push_back(part);
        record = find(prefix);
        if (!record) {
            keys.push_back(KeyRecord{prefix, {}});
            record = &keys.back();
        }
    }
    return *record;
}

bool same_hive(const HiveData& a, const HiveData& b) {
    if (a.keys.size() != b.keys.size())
        return false;
    for (size_t i = 0; i < a.keys.size(); ++i) {
        const KeyRecord& x = a.keys[i];
        const KeyRecord& y = b.keys[i];
        if (x.path != y.path || x.values.size() != y.values.size())
            return false;
        for (size_t j = 0; j < x.values.size(); ++j)
            if (x.values[j].name != y.values[j].name || !(x.values[j].value == y.values[j].value))
                return false;
    }
    return true;
}

uint16_t layout_checksum(const HiveData& hive) {
    auto folded = [](const std::string& name) {
        std::string out = name;
        for (char& c : out)
            c = lower(c);
        return out;
    };
    std::string layout;
    for (size_t i = 0; i < hive.keys.size(); ++i) {
        const std::string index = std::to_string(i);
        layout += index + "[";
        for (const std::string& part : hive.keys[i].path)
            layout += "\\" + folded(part);
        layout += "]\n";
        for (const NamedValue& value : hive.keys[i].values)
            layout += index + "=" + folded(value.name) + "\n";
    }
    return altiren::internet_checksum(reinterpret_cast<const uint8_t*>(layout.data()),
                                      layout.size());
}

std::string format_hive(const char* hiveName, const HiveData& hive) {
    std::string out = kHeader;
    char mark[16];
    std::snprintf(mark, sizeof mark, "%04x", layout_checksum(hive));
    out += "\n";
    out += kLayoutMark;
    out += mark;
    out += kLayoutAdvice;
    out += "\n";
    for (const KeyRecord& key : hive.keys) {
        out += "\n[";
        out += hiveName;
        for (const std::string& part : key.path)
            out += "\\" + part;
        out += "]\n";
        for (const NamedValue& value : key.values)
            out += format_value(value) + "\n";
    }
    out += "\n";
    out += kEndMark;
    out += "\n";
    return out;
}

bool parse_hive_text(const char* hiveName, const std::string& text, HiveData& hive,
                     std::string& error) {
    hive.keys.clear();
    // Logical lines: a trailing backslash continues a hex list on the next line.
    std::vector<std::pair<int, std::string>> lines;
    {
        std::string current;
        int number = 0, start = 0;
        size_t pos = 0;
        while (pos <= text.size()) {
            size_t end = text.find('\n', pos);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(pos, end - pos);
            ++number;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (current.empty())
                start = number;
            if (!current.empty()) {
                size_t first = line.find_first_not_of(" \t");
                line = first == std::string::npos ? "" : line.substr(first);
            }
            bool inHex = !current.empty() || line.find("=hex") != std::string::npos;
            bool continued = inHex && !line.empty() && line.back() == '\\';
            if (continued) {
                line.pop_back();
                current += line;
            } else {
                lines.emplace_back(start, current + line);
                current.clear();
            }
            if (end == text.size())
                break;
            pos = end + 1;
        }
        if (!current.empty())
            lines.emplace_back(start, current);
    }

    auto fail = [&](int line, const std::string& why) {
        error = "line " + std::to_string(line) + ": " + why;
        hive.keys.clear();
        return false;
    };

    bool sawHeader = false;
    bool sawContent = false; // a key or value
    // The layout mark, when the file carries one, and the last line that is not empty.
    int layoutMark = -1;
    std::string last;
    KeyRecord* current = nullptr;
    // Keys named by a [key] line. A parent made implicitly for a child listed
    // before it may still be listed later (a hand-edited file need not be ordered).
    std::vector<std::vector<std::string>> listed;
    for (const auto& [number, line] : lines) {
        if (line.empty())
            continue;
        last = line;
        if (line[0] == ';') {
            if (sawHeader && !sawContent && layoutMark < 0 && line.rfind(kLayoutMark, 0) == 0) {
                const std::string digits = line.substr(sizeof kLayoutMark - 1, 4);
                if (digits.size() != 4 ||
                    digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                    return fail(number, "unreadable layout mark");
                layoutMark = static_cast<int>(std::stoul(digits, nullptr, 16));
            }
            continue;
        }
        if (!sawHeader) {
            if (line != kHeader)
                return fail(number, "missing header");
            sawHeader = true;
            continue;
        }
        sawContent = true;
        if (line[0] == '[') {
            if (line.back() != ']')
                return fail(number, "unterminated key");
            std::string path = line.substr(1, line.size() - 2);
            std::vector<std::string> parts = split_path(path);
            if (parts.empty() || !equal_nocase(parts[0], hiveName))
                return fail(number, "key outside the hive");
            parts.erase(parts.begin());
            for (const auto& seen : listed)
                if (same_path(seen, parts))
                    return fail(number, "key listed twice");
            listed.push_back(parts);
            current = &hive.create(parts);
            continue;
        }
        if (!current)
            return fail(number, "value outside a key");
        NamedValue named;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!read_quoted(line, pos, named.name) || named.name.empty()) {
            return fail(number, "bad value name");
        }
        if (pos >= line.size() || line[pos] != '=')
            return fail(number, "missing '='");
        if (!parse_data(line.substr(pos + 1), named.value))
            return fail(number, "bad value data");
        for (const NamedValue& existing : current->values)
            if (equal_nocase(existing.name, named.name))
                return fail(number, "value listed twice");
        current->values.push_back(std::move(named));
    }
    if (!sawHeader && !lines.empty()) {
        for (const auto& [number, line] : lines)
            if (!line.empty())
                return fail(number, "missing header");
    }
    // Damage that still parses. A file without a layout mark was made by hand (or before
    // the marks) and is read as it parses. A file with one was written by the store, and
    // what it holds must still be laid out as the mark says and end with the end mark:
    // a lost key header (its values would move to the key above), a lost line or a cut
    // file is reported, never taken. A person who changes a value's data keeps the
    // layout; one who adds, removes or renames keys or values deletes the mark, as the
    // mark's own line asks, or the file counts as damaged. That errs on the side of
    // refusing: a damaged hive taken silently would hand out wrong settings.
    if (layoutMark >= 0) {
        if (last != kEndMark)
            return fail(static_cast<int>(lines.size()), "cut short: no end mark");
        if (layout_checksum(hive) != layoutMark)
            return fail(static_cast<int>(lines.size()),
                        "the keys and values are not those of the layout mark");
    }
    return true;
}

} // namespace platform::registry::detail
