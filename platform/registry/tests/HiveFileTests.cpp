#include "HiveFile.h"

#include <gtest/gtest.h>

using namespace platform::registry;
using namespace platform::registry::detail;

namespace {

const char kHead[] = "Windows Registry Editor Version 5.00\n";

bool parses(const std::string& body) {
    HiveData hive;
    std::string error;
    return parse_hive_text("HKEY_LOCAL_MACHINE", kHead + body, hive, error);
}

TEST(HiveFileTest, DamagedTextIsRefused) {
    EXPECT_TRUE(parses(""));
    EXPECT_TRUE(parses("\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:1\n"));
    // A hand-edited file may list a parent after its child.
    EXPECT_TRUE(parses("[HKEY_LOCAL_MACHINE\\A\\B]\n\"b\"=dword:2\n"
                       "[HKEY_LOCAL_MACHINE\\A]\n\"a\"=dword:1\n[HKEY_LOCAL_MACHINE]\n"));
    const char* damaged[] = {
        "[HKEY_LOCAL_MACHINE\\A\n",             // unterminated key
        "[HKEY_CURRENT_USER\\A]\n",             // key of another hive
        "\"v\"=\"x\"\n",                        // value before any key
        "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"x\n", // unterminated string
        "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:123456789\n",
        "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:1,2\n",
        "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex(7):61,62\n", // list without terminator
        "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=qword:1\n",
        "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"x\"\n\"V\"=\"y\"\n", // value twice
        "[HKEY_LOCAL_MACHINE\\A]\n[HKEY_LOCAL_MACHINE\\a]\n",  // key twice
        "[HKEY_LOCAL_MACHINE\\A]\nv=\"x\"\n",                  // unquoted name
    };
    for (const char* body : damaged)
        EXPECT_FALSE(parses(body)) << body;
    HiveData hive;
    std::string error;
    EXPECT_FALSE(parse_hive_text("HKEY_LOCAL_MACHINE", "garbage\n", hive, error));
    EXPECT_FALSE(error.empty());
}

TEST(HiveFileTest, FormatParsesBackToTheSameHive) {
    HiveData hive;
    hive.create({"Software", "Orvane"}).values.push_back({"Name", Value::Sz("x\\\"y\x01")});
    hive.create({"Software", "Other"}).values.push_back({"", Value::MultiSz({"a", "b"})});
    std::string text = format_hive("HKEY_CURRENT_USER", hive);
    HiveData back;
    std::string error;
    ASSERT_TRUE(parse_hive_text("HKEY_CURRENT_USER", text, back, error)) << error << text;
    ASSERT_EQ(back.keys.size(), hive.keys.size());
    EXPECT_EQ(back.find({"software", "orvane"})->values[0].value, Value::Sz("x\\\"y\x01"));
    EXPECT_EQ(back.find({"Software", "Other"})->values[0].value, Value::MultiSz({"a", "b"}));
    EXPECT_EQ(format_hive("HKEY_CURRENT_USER", back), text);
}

} // namespace
