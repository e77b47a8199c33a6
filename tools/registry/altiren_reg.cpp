// Command-line access to the registry store, for install steps and tests.
//
//   altiren-reg [--root DIR] query  KEY [NAME]
//   altiren-reg [--root DIR] set    KEY NAME REG_SZ|REG_DWORD|REG_MULTI_SZ|REG_BINARY DATA...
//   altiren-reg [--root DIR] delete KEY [NAME]
//   altiren-reg [--root DIR] list   KEY
//
// KEY starts with its hive (HKLM, HKCU or the long names): HKLM\SYSTEM\CurrentControlSet.
// "set" creates the key when it is missing; "delete" without a name removes the key and
// everything below it. REG_DWORD data is decimal or 0x-hex; REG_MULTI_SZ takes one
// argument per string; REG_BINARY takes hex bytes ("01 02 ff" or "0102ff").
// Exit status: 0 done (--help too), 1 key or value missing, 2 usage, 3 any other failure.
#include "platform/AccessGroup.h"
#include "platform/Registry.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

using namespace platform::registry;

namespace {

constexpr const char* kUsage = "usage: altiren-reg [--root DIR] query KEY [NAME]\n"
                               "       altiren-reg [--root DIR] set KEY NAME TYPE DATA...\n"
                               "       altiren-reg [--root DIR] delete KEY [NAME]\n"
                               "       altiren-reg [--root DIR] list KEY\n";

int usage() {
    std::cerr << kUsage;
    return 2;
}

// The store the command works on, for what a refusal says.
std::string g_root;

// A user outside the access group is told whom the store is for and how to join.
std::string access_denied_text() {
    if (!platform::outside_access_group())
        return "access denied";
    return "access denied: the registry store " + g_root + " is for " +
           platform::access_group_advice();
}

int report(long rc, const std::string& what) {
    if (rc == kSuccess)
        return 0;
    if (rc == kFileNotFound) {
        std::cerr << "altiren-reg: " << what << ": not found\n";
        return 1;
    }
    std::cerr << "altiren-reg: " << what << ": "
              << (rc == kInvalidData        ? "the hive file is damaged"
                  : rc == kAccessDenied     ? access_denied_text()
                  : rc == kKeyHasChildren   ? "the key has subkeys"
                  : rc == kInvalidParameter ? "invalid value"
                                            : "error " + std::to_string(rc))
              << "\n";
    return 3;
}

const char* type_name(ValueType type) {
    switch (type) {
    case ValueType::Sz:
        return "REG_SZ";
    case ValueType::Dword:
        return "REG_DWORD";
    case ValueType::MultiSz:
        return "REG_MULTI_SZ";
    case ValueType::Binary:
        return "REG_BINARY";
    }
    return "?";
}

std::string data_text(const Value& value, const char* listSeparator) {
    std::string out;
    switch (value.type) {
    case ValueType::Sz:
        return value.text;
    case ValueType::Dword:
        return std::to_string(value.dword);
    case ValueType::MultiSz:
        for (size_t i = 0; i < value.strings.size(); ++i)
            out += (i ? listSeparator : "") + value.strings[i];
        return out;
    case ValueType::Binary: {
        char buffer[4];
        for (size_t i = 0; i < value.bytes.size(); ++i) {
            std::snprintf(buffer, sizeof buffer, "%02x", value.bytes[i]);
            out += (i ? " " : "") + std::string(buffer);
        }
        return out;
    }
    }
    return out;
}

bool parse_value(const std::string& type, const std::vector<std::string>& data, Value& value) {
    if (type == "REG_SZ" && data.size() == 1) {
        value = Value::Sz(data[0]);
        return true;
    }
    if (type == "REG_DWORD" && data.size() == 1) {
        errno = 0;
        char* end = nullptr;
        unsigned long long n = std::strtoull(data[0].c_str(), &end, 0);
        if (data[0].empty() || data[0][0] == '-' || *end || errno || n > 0xffffffffULL)
            return false;
        value = Value::Dword(static_cast<uint32_t>(n));
        return true;
    }
    if (type == "REG_MULTI_SZ") {
        value = Value::MultiSz(data);
        return true;
    }
    if (type == "REG_BINARY") {
        std::string digits;
        for (const std::string& part : data)
            for (char c : part)
                if (c != ' ' && c != ',')
                    digits += c;
        if (digits.size() % 2)
            return false;
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < digits.size(); i += 2) {
            // Two hex digits each: strtoul alone would take "-1" or "+f" as a byte.
            if (!std::isxdigit(static_cast<unsigned char>(digits[i])) ||
                !std::isxdigit(static_cast<unsigned char>(digits[i + 1])))
                return false;
            bytes.push_back(
                static_cast<uint8_t>(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
        }
        value = Value::Binary(bytes);
        return true;
    }
    return false;
}

bool split_key(const std::string& key, Hive& hive, std::string& path) {
    size_t sep = key.find_first_of("\\/");
    auto parsed = parse_hive(key.substr(0, sep));
    if (!parsed)
        return false;
    hive = *parsed;
    path = sep == std::string::npos ? "" : key.substr(sep + 1);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    Registry defaults;
    std::string root = defaults.root();
    if (args.size() >= 2 && args[0] == "--root") {
        root = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage
                  << "KEY starts with its hive: HKLM\\SYSTEM\\CurrentControlSet (HKCU, or the long "
                     "names).\nTYPE is REG_SZ, REG_DWORD (decimal or 0x-hex), REG_MULTI_SZ (one "
                     "argument per string)\nor REG_BINARY (hex bytes). Exit status: 0 done, 1 "
                     "missing, 2 usage, 3 other failures.\n";
        return 0;
    }
    if (args.size() < 2)
        return usage();
    g_root = root;
    Registry reg(root);
    const std::string& command = args[0];
    Hive hive;
    std::string path;
    if (!split_key(args[1], hive, path)) {
        std::cerr << "altiren-reg: unknown hive in " << args[1] << "\n";
        return 2;
    }

    if (command == "query" && args.size() <= 3) {
        if (args.size() == 3) {
            Value value;
            if (int rc =
                    report(reg.queryValue(hive, path, args[2], value), args[1] + " " + args[2]))
                return rc;
            std::cout << data_text(value, "\n") << "\n";
            return 0;
        }
        std::vector<std::string> names;
        if (int rc = report(reg.enumValues(hive, path, names), args[1]))
            return rc;
        for (const std::string& name : names) {
            Value value;
            if (reg.queryValue(hive, path, name, value) == kSuccess)
                std::cout << (name.empty() ? "(Default)" : name) << "\t" << type_name(value.type)
                          << "\t" << data_text(value, "\\0") << "\n";
        }
        return 0;
    }
    if (command == "set" && args.size() >= 4) {
        Value value;
        std::vector<std::string> data(args.begin() + 4, args.end());
        if (!parse_value(args[3], data, value)) {
            std::cerr << "altiren-reg: bad " << args[3] << " data\n";
            return 2;
        }
        if (int rc = report(reg.createKey(hive, path), args[1]))
            return rc;
        return report(reg.setValue(hive, path, args[2], value), args[1] + " " + args[2]);
    }
    if (command == "delete" && args.size() <= 3) {
        if (args.size() == 3)
            return report(reg.deleteValue(hive, path, args[2]), args[1] + " " + args[2]);
        return report(reg.deleteTree(hive, path), args[1]);
    }
    if (command == "list" && args.size() == 2) {
        std::vector<std::string> names;
        if (int rc = report(reg.enumSubkeys(hive, path, names), args[1]))
            return rc;
        for (const std::string& name : names)
            std::cout << name << "\n";
        return 0;
    }
    return usage();
}
