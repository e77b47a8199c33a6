#include "platform/Registry.h"

#include "TestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

using namespace platform::registry;

namespace {

struct ToolRun {
    int status;
    std::string out;
};

class AltirenRegTool : public ::testing::Test {
protected:
    ToolRun run(const std::string& args) {
        std::string command =
            std::string(ALTIREN_REG_TOOL) + " --root '" + dir.str() + "' " + args + " 2>/dev/null";
        FILE* pipe = popen(command.c_str(), "r");
        std::string out;
        std::array<char, 256> buffer;
        while (size_t n = fread(buffer.data(), 1, buffer.size(), pipe))
            out.append(buffer.data(), n);
        int status = pclose(pipe);
        return ToolRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
    }
    testsupport::TempDir dir{"regtool"};
};

TEST_F(AltirenRegTool, SetQueryListDelete) {
    const std::string key = "'HKLM\\SYSTEM\\CurrentControlSet\\Services\\QL\\Parameters'";
    EXPECT_EQ(run("set " + key + " PacketPoolSize REG_DWORD 0x200").status, 0);
    EXPECT_EQ(run("set " + key + " Bindings REG_MULTI_SZ tap:ql0=eth0 if:v1=eth1").status, 0);
    EXPECT_EQ(run("set " + key + " Name REG_SZ 'two words'").status, 0);
    EXPECT_EQ(run("set " + key + " Blob REG_BINARY 'de ad 01'").status, 0);
    EXPECT_EQ(run("query " + key + " packetpoolsize").out, "512\n");
    EXPECT_EQ(run("query " + key + " Bindings").out, "tap:ql0=eth0\nif:v1=eth1\n");
    EXPECT_EQ(run("query " + key + " Blob").out, "de ad 01\n");
    EXPECT_EQ(run("list 'HKEY_LOCAL_MACHINE/SYSTEM/CurrentControlSet/Services/QL'").out,
              "Parameters\n");

    Registry reg(dir.str());
    std::string text;
    EXPECT_EQ(reg.queryString(Hive::LocalMachine,
                              "SYSTEM\\CurrentControlSet\\Services\\QL\\Parameters", "Name", text),
              kSuccess);
    EXPECT_EQ(text, "two words");

    EXPECT_EQ(run("delete " + key + " Name").status, 0);
    EXPECT_EQ(run("query " + key + " Name").status, 1);
    EXPECT_EQ(run("delete 'HKLM\\SYSTEM\\CurrentControlSet\\Services\\QL'").status, 0);
    EXPECT_EQ(run("list " + key).status, 1);
}

TEST_F(AltirenRegTool, HelpPrintsTheUsageAndSucceeds) {
    for (const char* help : {"--help", "-h"}) {
        const ToolRun r = run(help);
        EXPECT_EQ(r.status, 0) << help;
        EXPECT_EQ(r.out.rfind("usage: altiren-reg", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("REG_MULTI_SZ (one argument per string)"), std::string::npos) << r.out;
    }
    EXPECT_EQ(run("").status, 2); // no command is still a usage error
    EXPECT_EQ(run("--help extra").status, 2);
}

TEST_F(AltirenRegTool, BadInputIsRefused) {
    EXPECT_EQ(run("set HKLM/A V REG_DWORD -1").status, 2);
    EXPECT_EQ(run("set HKLM/A V REG_DWORD 4294967296").status, 2);
    EXPECT_EQ(run("set HKLM/A V REG_BINARY abc").status, 2);
    EXPECT_EQ(run("set HKLM/A V REG_BINARY 01-1").status, 2);
    EXPECT_EQ(run("set HKLM/A V REG_BINARY +f").status, 2);
    EXPECT_EQ(run("set HKEY_USERS/A V REG_SZ x").status, 2);
    EXPECT_EQ(run("frobnicate HKLM/A").status, 2);
    testsupport::write_file(dir / "HKEY_LOCAL_MACHINE.reg", "not a hive\n");
    EXPECT_EQ(run("query 'HKLM\\A'").status, 3);
}

} // namespace
