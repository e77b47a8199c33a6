#include "platform/Registry.h"

#include "TestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform::registry;
using testsupport::read_file;
using testsupport::TempDir;
using testsupport::write_file;

namespace {

const std::string kService = "SYSTEM\\CurrentControlSet\\Services\\QL";

class RegistryTest : public ::testing::Test {
protected:
    TempDir dir{"registry"};
    Registry reg{dir.str()};
};

TEST_F(RegistryTest, MissingKeysAndValuesFail) {
    EXPECT_EQ(reg.openKey(Hive::LocalMachine, kService), kFileNotFound);
    EXPECT_EQ(reg.openKey(Hive::LocalMachine, ""), kSuccess); // the hive itself
    Value value;
    EXPECT_EQ(reg.queryValue(Hive::LocalMachine, kService, "ImagePath", value), kFileNotFound);
    EXPECT_EQ(reg.setValue(Hive::LocalMachine, kService, "ImagePath", Value::Sz("x")),
              kFileNotFound);
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, kService), kSuccess);
    EXPECT_EQ(reg.queryValue(Hive::LocalMachine, kService, "ImagePath", value), kFileNotFound);
    EXPECT_EQ(reg.deleteValue(Hive::LocalMachine, kService, "ImagePath"), kFileNotFound);
    EXPECT_EQ(reg.openKey(Hive::CurrentUser, kService), kFileNotFound); // hives are apart
}

TEST_F(RegistryTest, TypedValuesRoundTrip) {
    ASSERT_EQ(reg.createKey(Hive::CurrentUser, "Software\\Orvane\\AltirenClient\\Settings"), 0);
    const std::string key = "Software\\Orvane\\AltirenClient\\Settings";
    std::vector<uint8_t> blob;
    for (int i = 0; i < 256; ++i)
        blob.push_back(static_cast<uint8_t>(i));
    const std::pair<std::string, Value> values[] = {
        {"Plain", Value::Sz("hello world")},
        {"Quoted", Value::Sz("a \"quoted\" C:\\path\\ \xc3\xa9t\xc3\xa9")},
        {"Lines", Value::Sz("line one\nline two\ttab\r\n")},
        {"Empty", Value::Sz("")},
        {"Number", Value::Dword(0xdeadbeef)},
        {"Zero", Value::Dword(0)},
        {"Bindings", Value::MultiSz({"tap:ql0=eth0", "if:veth1=eth1", "x y"})},
        {"NoStrings", Value::MultiSz({})},
        {"Blob", Value::Binary(blob)},
        {"NoBytes", Value::Binary({})},
        {"", Value::Sz("default value")},
    };
    for (const auto& [name, value] : values)
        ASSERT_EQ(reg.setValue(Hive::CurrentUser, key, name, value), kSuccess) << name;
    Registry fresh(dir.str()); // nothing cached: a second object reads the file
    for (const auto& [name, value] : values) {
        Value read;
        ASSERT_EQ(fresh.queryValue(Hive::CurrentUser, key, name, read), kSuccess) << name;
        EXPECT_EQ(read, value) << name;
    }
    std::vector<std::string> names;
    ASSERT_EQ(fresh.enumValues(Hive::CurrentUser, key, names), kSuccess);
    EXPECT_EQ(names.size(), std::size(values));
    EXPECT_EQ(names.front(), "Plain");
}

TEST_F(RegistryTest, SeveralValuesAreWrittenAndReadAsOne) {
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, kService), kSuccess);
    ASSERT_EQ(reg.setValues(Hive::LocalMachine, kService,
                            {{"A", Value::Sz("1")}, {"B", Value::Dword(2)}}),
              kSuccess);
    // One value that cannot be stored refuses the whole change.
    EXPECT_EQ(reg.setValues(Hive::LocalMachine, kService,
                            {{"A", Value::Sz("changed")}, {"C\n", Value::Sz("x")}}),
              kInvalidParameter);
    EXPECT_EQ(reg.setValues(Hive::LocalMachine, kService + "\\Missing", {{"A", Value::Sz("x")}}),
              kFileNotFound);
    std::vector<Value> read;
    ASSERT_EQ(reg.queryValues(Hive::LocalMachine, kService, {"b", "a"}, read), kSuccess);
    EXPECT_EQ(read, (std::vector<Value>{Value::Dword(2), Value::Sz("1")}));
    // Every name must be there; the caller's values stay as they were otherwise.
    EXPECT_EQ(reg.queryValues(Hive::LocalMachine, kService, {"A", "C"}, read), kFileNotFound);
    EXPECT_EQ(read.size(), 2u);
}

TEST_F(RegistryTest, UnstorableStringsAreRefused) {
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, "A"), kSuccess);
    EXPECT_EQ(reg.setValue(Hive::LocalMachine, "A", "L", Value::MultiSz({"a", "", "b"})),
              kInvalidParameter);
    EXPECT_EQ(reg.setValue(Hive::LocalMachine, "A", "S", Value::Sz(std::string("a\0b", 3))),
              kInvalidParameter);
    // A line break in a name would split its line and leave the hive unreadable.
    EXPECT_EQ(reg.setValue(Hive::LocalMachine, "A", "two\nlines", Value::Dword(1)),
              kInvalidParameter);
    EXPECT_EQ(reg.createKey(Hive::LocalMachine, "A\\B\r\nC"), kInvalidParameter);
    std::vector<std::string> names;
    EXPECT_EQ(reg.enumValues(Hive::LocalMachine, "A", names), kSuccess);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(reg.enumSubkeys(Hive::LocalMachine, "A", names), kSuccess);
    EXPECT_TRUE(names.empty());
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepFirstCase) {
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, "Software\\Orvane"), kSuccess);
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, "SOFTWARE\\orvane\\Client"), kSuccess);
    ASSERT_EQ(
        reg.setValue(Hive::LocalMachine, "software/ORVANE", "UpgradeInterval", Value::Dword(5)),
        kSuccess);
    ASSERT_EQ(
        reg.setValue(Hive::LocalMachine, "Software\\Orvane", "UPGRADEINTERVAL", Value::Dword(7)),
        kSuccess);
    uint32_t dword = 0;
    EXPECT_EQ(reg.queryDword(Hive::LocalMachine, "SOFTWARE\\ORVANE", "upgradeinterval", dword),
              kSuccess);
    EXPECT_EQ(dword, 7u);
    std::vector<std::string> names;
    reg.enumValues(Hive::LocalMachine, "Software\\Orvane", names);
    EXPECT_EQ(names, std::vector<std::string>{"UpgradeInterval"});
    reg.enumSubkeys(Hive::LocalMachine, "software", names);
    EXPECT_EQ(names, std::vector<std::string>{"Orvane"});
    reg.enumSubkeys(Hive::LocalMachine, "software\\orvane", names);
    EXPECT_EQ(names, std::vector<std::string>{"Client"});
    std::string text;
    EXPECT_EQ(reg.queryString(Hive::LocalMachine, "Software\\Orvane", "UpgradeInterval", text),
              kInvalidData);
}

TEST_F(RegistryTest, DeleteKeyAndTree) {
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, kService + "\\Parameters"), kSuccess);
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\QLX"), 0);
    EXPECT_EQ(reg.deleteKey(Hive::LocalMachine, kService), kKeyHasChildren);
    EXPECT_EQ(reg.deleteKey(Hive::LocalMachine, kService + "\\parameters"), kSuccess);
    EXPECT_EQ(reg.deleteKey(Hive::LocalMachine, kService), kSuccess);
    EXPECT_EQ(reg.openKey(Hive::LocalMachine, kService), kFileNotFound);
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, kService + "\\Parameters\\Deep"), kSuccess);
    EXPECT_EQ(reg.deleteTree(Hive::LocalMachine, kService), kSuccess);
    EXPECT_EQ(reg.openKey(Hive::LocalMachine, kService + "\\Parameters"), kFileNotFound);
    // A sibling whose name starts the same is not below the deleted key.
    EXPECT_EQ(reg.openKey(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\QLX"), 0);
    EXPECT_EQ(reg.deleteTree(Hive::LocalMachine, kService), kFileNotFound);
}

TEST_F(RegistryTest, DamagedFileIsReportedAndNeverReplaced) {
    const std::string damaged = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n"
                                "\"Value\"=dword:zz\n";
    write_file(dir / "HKEY_LOCAL_MACHINE.reg", damaged);
    Value value;
    EXPECT_EQ(reg.openKey(Hive::LocalMachine, "A"), kInvalidData);
    EXPECT_EQ(reg.queryValue(Hive::LocalMachine, "A", "Value", value), kInvalidData);
    EXPECT_EQ(reg.createKey(Hive::LocalMachine, "B"), kInvalidData);
    EXPECT_EQ(reg.setValue(Hive::LocalMachine, "A", "Other", Value::Dword(1)), kInvalidData);
    EXPECT_EQ(read_file(dir / "HKEY_LOCAL_MACHINE.reg"), damaged);
    // The other hive is unaffected.
    EXPECT_EQ(reg.createKey(Hive::CurrentUser, "B"), kSuccess);
}

TEST_F(RegistryTest, FileIsReadableRegText) {
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, kService), kSuccess);
    reg.setValue(Hive::LocalMachine, kService, "ImagePath", Value::Sz("/usr/sbin/quellin"));
    reg.setValue(Hive::LocalMachine, kService, "DebugLevel", Value::Dword(0x10));
    // The driver's service key is root's alone, in a file beside the store.
    std::string text = read_file(dir.str() + "-system/HKEY_LOCAL_MACHINE.reg");
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\QL]\n"
                        "\"ImagePath\"=\"/usr/sbin/quellin\"\n\"DebugLevel\"=dword:00000010\n"),
              std::string::npos)
        << text;
}

// What the daemon acts on as root lies where only root writes (0755, 0644, beside the
// group-writable store); everything else stays shared; the tree reads as one.
TEST_F(RegistryTest, TheDriversServiceKeyIsRootsAloneAndTheRestStaysShared) {
    const std::string settings = "SOFTWARE\\Orvane\\Pramitone\\Settings";
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, kService + "\\Parameters"), kSuccess);
    ASSERT_EQ(reg.setValue(Hive::LocalMachine, kService + "\\Parameters", "Bindings",
                           Value::MultiSz({"tap:ql0=eth0"})),
              kSuccess);
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\Other"), 0);
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, settings), kSuccess);
    const std::string system = dir.str() + "-system";
    EXPECT_EQ(reg.systemFolder(), system);
    struct stat st {};
    ASSERT_EQ(::stat(system.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    ASSERT_EQ(::stat((system + "/HKEY_LOCAL_MACHINE.reg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(read_file(dir / "HKEY_LOCAL_MACHINE.reg").find("Services\\QL"), std::string::npos);
    EXPECT_EQ(read_file(system + "/HKEY_LOCAL_MACHINE.reg").find("Orvane"), std::string::npos);

    std::vector<std::string> names;
    ASSERT_EQ(reg.enumSubkeys(Hive::LocalMachine, "system\\currentcontrolset\\services", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{"Other", "QL"}));
    EXPECT_EQ(reg.deleteKey(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services"),
              kKeyHasChildren);
    ASSERT_EQ(reg.deleteTree(Hive::LocalMachine, "SYSTEM"), kSuccess);
    EXPECT_EQ(reg.openKey(Hive::LocalMachine, kService), kFileNotFound);
    EXPECT_EQ(reg.openKey(Hive::LocalMachine, "SYSTEM"), kFileNotFound);
    EXPECT_EQ(reg.openKey(Hive::LocalMachine, settings), kSuccess);
    // The other hive has no such key.
    ASSERT_EQ(reg.createKey(Hive::CurrentUser, kService), kSuccess);
    EXPECT_EQ(read_file(dir / "HKEY_CURRENT_USER.reg").find("Services\\QL") != std::string::npos,
              true);
}

namespace {

// Runs `call` in a child process as a user (no root) of the store's group; its result.
long as_group_member(const std::string& folder, const std::function<long()>& call) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        const gid_t group = st.st_gid;
        const uid_t user = 61999;
        long rc = -2;
        if (::setgroups(1, &group) == 0 && ::setresgid(user, user, user) == 0 &&
            ::setresuid(user, user, user) == 0)
            rc = call();
        ::_exit(static_cast<int>(rc & 0x7F));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
}

} // namespace

// A member of the store's group changes the shared settings, never the driver's key; a
// root-only part that someone else made or can change is refused, never read.
TEST_F(RegistryTest, AGroupMemberCannotChangeTheRootOnlyPartAndOneOthersCouldIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: it changes user";
    ASSERT_EQ(::chmod(dir.str().c_str(), 02775), 0);
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, kService + "\\Restore"), kSuccess);
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, "SOFTWARE\\Orvane"), kSuccess);
    const Registry store(dir.str());
    EXPECT_EQ(as_group_member(dir.str(),
                              [&] {
                                  return store.setValue(Hive::LocalMachine, "SOFTWARE\\Orvane",
                                                        "UserName", Value::Sz("member"));
                              }),
              kSuccess);
    EXPECT_EQ(as_group_member(dir.str(),
                              [&] {
                                  return store.createKey(Hive::LocalMachine,
                                                         kService + "\\Restore\\eth0");
                              }),
              kAccessDenied);
    EXPECT_EQ(as_group_member(dir.str(),
                              [&] {
                                  return store.setValue(Hive::LocalMachine, kService, "ImagePath",
                                                        Value::Sz("/tmp/x"));
                              }),
              kAccessDenied);
    // It reads the key.
    EXPECT_EQ(
        as_group_member(dir.str(),
                        [&] { return store.openKey(Hive::LocalMachine, kService + "\\Restore"); }),
        kSuccess);
    EXPECT_EQ(reg.openKey(Hive::LocalMachine, kService + "\\Restore\\eth0"), kFileNotFound);

    // A file others may write, and a folder of someone else's, are refused.
    const std::string file = reg.systemFolder() + "/HKEY_LOCAL_MACHINE.reg";
    ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
    EXPECT_EQ(reg.openKey(Hive::LocalMachine, kService), kAccessDenied);
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    ASSERT_EQ(::chown(reg.systemFolder().c_str(), 61999, 61999), 0);
    EXPECT_EQ(reg.openKey(Hive::LocalMachine, kService), kAccessDenied);
    EXPECT_EQ(reg.createKey(Hive::LocalMachine, kService + "\\Restore\\eth0"), kAccessDenied);
    EXPECT_FALSE(reg.lockRootOnly("Restore").locked());
    ASSERT_EQ(::chown(reg.systemFolder().c_str(), 0, 0), 0);
    EXPECT_EQ(reg.openKey(Hive::LocalMachine, kService), kSuccess);
    EXPECT_TRUE(reg.lockRootOnly("Restore").locked());
}

// A store of the earlier layout kept the driver's key in the shared hive: it moves over
// once, and what turns up there later is never taken.
TEST_F(RegistryTest, TheDriversKeyOfAnEarlierLayoutMovesOverOnce) {
    write_file(dir / "HKEY_LOCAL_MACHINE.reg",
               "Windows Registry Editor Version 5.00\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane]\n\"UserName\"=\"demo\"\n\n"
               "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\QL]\n"
               "\"ImagePath\"=\"/usr/sbin/quellin\"\n\n"
               "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\QL\\Parameters]\n"
               "\"PacketPoolSize\"=dword:000001fe\n");
    uint32_t pool = 0;
    ASSERT_EQ(reg.queryDword(Hive::LocalMachine, kService + "\\Parameters", "PacketPoolSize", pool),
              kSuccess);
    EXPECT_EQ(pool, 510u);
    std::string text;
    EXPECT_EQ(reg.queryString(Hive::LocalMachine, kService, "ImagePath", text), kSuccess);
    EXPECT_EQ(reg.queryString(Hive::LocalMachine, "SOFTWARE\\Orvane", "UserName", text), kSuccess);
    EXPECT_EQ(text, "demo");
    const std::string shared = read_file(dir / "HKEY_LOCAL_MACHINE.reg");
    EXPECT_EQ(shared.find("Services\\QL"), std::string::npos) << shared;

    // Written into the shared file by hand afterwards: not the driver's.
    write_file(dir / "HKEY_LOCAL_MACHINE.reg",
               "Windows Registry Editor Version 5.00\n\n"
               "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\QL\\Parameters]\n"
               "\"PacketPoolSize\"=dword:00000001\n");
    ASSERT_EQ(reg.queryDword(Hive::LocalMachine, kService + "\\Parameters", "PacketPoolSize", pool),
              kSuccess);
    EXPECT_EQ(pool, 510u);
}

TEST_F(RegistryTest, HandEditedFileIsRead) {
    write_file(dir / "HKEY_CURRENT_USER.reg",
               "Windows Registry Editor Version 5.00\r\n\r\n; a comment\r\n"
               "[HKEY_CURRENT_USER\\Software\\Orvane]\r\n\"Name\"=\"Value\"\r\n"
               "\"Long\"=hex:01,02,\\\r\n  03,04\r\n");
    Value value;
    ASSERT_EQ(reg.queryValue(Hive::CurrentUser, "Software\\Orvane", "Long", value), kSuccess);
    EXPECT_EQ(value, Value::Binary({1, 2, 3, 4}));
    std::string text;
    EXPECT_EQ(reg.queryString(Hive::CurrentUser, "software\\orvane", "name", text), kSuccess);
    EXPECT_EQ(text, "Value");
}

// A quoted string may hold a NUL byte in a file edited by hand; the string reads, and the
// next write must keep the hive readable with the string as it was read.
TEST_F(RegistryTest, AQuotedStringWithANulSurvivesTheNextWrite) {
    const std::string odd("a\0b", 3);
    write_file(dir / "HKEY_LOCAL_MACHINE.reg", "Windows Registry Editor Version 5.00\n\n"
                                               "[HKEY_LOCAL_MACHINE\\A]\n\"Odd\"=\"" +
                                                   odd + "\"\n");
    Value value;
    ASSERT_EQ(reg.queryValue(Hive::LocalMachine, "A", "Odd", value), kSuccess);
    EXPECT_EQ(value, Value::Sz(odd));
    ASSERT_EQ(reg.setValue(Hive::LocalMachine, "A", "Next", Value::Dword(1)), kSuccess);
    ASSERT_EQ(reg.queryValue(Hive::LocalMachine, "A", "Odd", value), kSuccess);
    EXPECT_EQ(value, Value::Sz(odd));
    uint32_t dword = 0;
    EXPECT_EQ(reg.queryDword(Hive::LocalMachine, "A", "Next", dword), kSuccess);
}

namespace {

std::string Without(std::string text, const std::string& line) {
    size_t at = text.find(line);
    if (at != std::string::npos)
        text.erase(at, line.size());
    return text;
}

} // namespace

// Damage that still parses is reported, never taken: a lost key header would move the
// key's values to the key above it, a cut file would lose keys and values.
TEST_F(RegistryTest, DamageThatStillParsesIsReported) {
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, "A\\B"), kSuccess);
    ASSERT_EQ(reg.setValue(Hive::LocalMachine, "A", "x", Value::Dword(1)), kSuccess);
    ASSERT_EQ(reg.setValue(Hive::LocalMachine, "A\\B", "y", Value::Dword(2)), kSuccess);
    ASSERT_EQ(reg.setValue(Hive::LocalMachine, "A\\B", "z", Value::Sz("last")), kSuccess);
    const std::string written = read_file(dir / "HKEY_LOCAL_MACHINE.reg");
    const auto file = dir / "HKEY_LOCAL_MACHINE.reg";
    Value value;

    const std::string lostHeader = Without(written, "[HKEY_LOCAL_MACHINE\\A\\B]\n");
    ASSERT_NE(lostHeader, written);
    write_file(file, lostHeader);
    EXPECT_EQ(reg.queryValue(Hive::LocalMachine, "A", "y", value), kInvalidData);
    EXPECT_EQ(reg.setValue(Hive::LocalMachine, "A", "w", Value::Dword(3)), kInvalidData);
    EXPECT_EQ(read_file(file), lostHeader); // never replaced

    const std::string cut = written.substr(0, written.find("\"z\""));
    write_file(file, cut);
    EXPECT_EQ(reg.queryValue(Hive::LocalMachine, "A\\B", "y", value), kInvalidData);

    write_file(file, Without(written, "\"y\"=dword:00000002\n"));
    EXPECT_EQ(reg.queryValue(Hive::LocalMachine, "A", "x", value), kInvalidData);
}

// A person may still edit the file: a value's data changes freely; keys and values added
// by hand are read once the layout mark's line is deleted, as that line says.
TEST_F(RegistryTest, HandEditsOfAWrittenFileAreRead) {
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, "A"), kSuccess);
    ASSERT_EQ(reg.setValue(Hive::LocalMachine, "A", "Pool", Value::Dword(510)), kSuccess);
    const auto file = dir / "HKEY_LOCAL_MACHINE.reg";
    const std::string written = read_file(file);
    const size_t markStart = written.find("; layout ");
    ASSERT_NE(markStart, std::string::npos) << written;
    const std::string mark =
        written.substr(markStart, written.find('\n', markStart) + 1 - markStart);
    EXPECT_NE(mark.find("delete this line"), std::string::npos);

    // New data, and the name in another case (names compare without case).
    std::string edited = written;
    edited.replace(edited.find("dword:000001fe"), 14, "dword:00000400");
    edited.replace(edited.find("\"Pool\""), 6, "\"POOL\"");
    write_file(file, edited);
    uint32_t dword = 0;
    ASSERT_EQ(reg.queryDword(Hive::LocalMachine, "A", "Pool", dword), kSuccess);
    EXPECT_EQ(dword, 0x400u);

    // A value added by hand: refused while the mark stands, read once it is gone.
    const std::string added = Without(edited, "\n; end\n") + "\"Extra\"=dword:00000001\n";
    write_file(file, added);
    EXPECT_EQ(reg.queryDword(Hive::LocalMachine, "A", "Extra", dword), kInvalidData);
    write_file(file, Without(added, mark));
    ASSERT_EQ(reg.queryDword(Hive::LocalMachine, "A", "Extra", dword), kSuccess);
    EXPECT_EQ(dword, 1u);
    // The next write marks the file again.
    ASSERT_EQ(reg.setValue(Hive::LocalMachine, "A", "More", Value::Dword(2)), kSuccess);
    EXPECT_NE(read_file(file).find("; layout "), std::string::npos);
    EXPECT_EQ(reg.queryDword(Hive::LocalMachine, "A", "Extra", dword), kSuccess);
}

// Writers killed at any moment (SIGKILL, in a loop) never damage the hive, and the
// temporary files of those killed between creating and renaming theirs are removed by
// the next write.
TEST_F(RegistryTest, KilledWritersLeaveNoTemporaryFilesBehind) {
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, "Busy"), kSuccess);
    auto temporaries = [&] {
        size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            n += entry.path().filename().string().find(".reg.tmp.") != std::string::npos;
        return n;
    };
    // At least a hundred kills, and on until one has come between open and rename.
    size_t leftBehind = 0;
    for (int kill = 0; kill < 2000 && (kill < 100 || leftBehind == 0); ++kill) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            Registry own(dir.str());
            for (uint32_t i = 0;; ++i)
                own.setValue(Hive::LocalMachine, "Busy", "n" + std::to_string(i % 8),
                             Value::Dword(i));
        }
        usleep(static_cast<useconds_t>(500 + (kill * 397) % 3000));
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        leftBehind = std::max(leftBehind, temporaries());
    }
    EXPECT_GT(leftBehind, 0u) << "no writer was killed between open and rename";
    ASSERT_EQ(reg.setValue(Hive::LocalMachine, "Busy", "after", Value::Dword(1)), kSuccess);
    EXPECT_EQ(temporaries(), 0u);
    std::vector<std::string> names;
    EXPECT_EQ(reg.enumValues(Hive::LocalMachine, "Busy", names), kSuccess);
}

TEST_F(RegistryTest, TwoProcessesWritingOneHiveLoseNothing) {
    ASSERT_EQ(reg.createKey(Hive::LocalMachine, "Shared"), kSuccess);
    constexpr int kWrites = 60;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            Registry own(dir.str());
            for (int i = 0; i < kWrites; ++i) {
                std::string name = "p" + std::to_string(c) + "_" + std::to_string(i);
                if (own.setValue(Hive::LocalMachine, "Shared", name, Value::Dword(i)) != 0)
                    _exit(1);
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::vector<std::string> names;
    ASSERT_EQ(reg.enumValues(Hive::LocalMachine, "Shared", names), kSuccess);
    EXPECT_EQ(names.size(), 2u * kWrites);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kWrites; ++i) {
            uint32_t dword = 99;
            EXPECT_EQ(reg.queryDword(Hive::LocalMachine, "Shared",
                                     "p" + std::to_string(c) + "_" + std::to_string(i), dword),
                      kSuccess);
            EXPECT_EQ(dword, static_cast<uint32_t>(i));
        }
}

TEST_F(RegistryTest, RootFolderIsCreatedOnFirstWrite) {
    Registry nested((dir / "a" / "b").string());
    EXPECT_EQ(nested.openKey(Hive::LocalMachine, "X"), kFileNotFound);
    EXPECT_EQ(nested.createKey(Hive::LocalMachine, "X"), kSuccess);
    EXPECT_EQ(nested.openKey(Hive::LocalMachine, "x"), kSuccess);
}

// The store is shared with the access group whatever the writer's umask: its folder setgid
// and group writable, the folders above it only searchable, its files group writable.
TEST_F(RegistryTest, TheStoreIsGroupWritableWhateverTheUmask) {
    const mode_t old = ::umask(077);
    Registry nested((dir / "a" / "store").string());
    EXPECT_EQ(nested.createKey(Hive::LocalMachine, "X"), kSuccess);
    EXPECT_EQ(nested.setValue(Hive::LocalMachine, "X", "v", Value::Dword(1)), kSuccess);
    ::umask(old);
    auto mode = [&](const std::string& name) {
        struct stat st {};
        EXPECT_EQ(::stat((dir / name).c_str(), &st), 0) << name;
        return st.st_mode & 07777;
    };
    EXPECT_EQ(mode("a"), 0755u);
    EXPECT_EQ(mode("a/store"), 02775u);
    EXPECT_EQ(mode("a/store/HKEY_LOCAL_MACHINE.reg"), 0664u);
    EXPECT_EQ(mode("a/store/HKEY_LOCAL_MACHINE.reg.lock"), 0664u);
    // A lock file this user made before with another mode is given the store's mode.
    ASSERT_EQ(::chmod((dir / "a/store/HKEY_LOCAL_MACHINE.reg.lock").c_str(), 0600), 0);
    Value value;
    EXPECT_EQ(nested.queryValue(Hive::LocalMachine, "X", "v", value), kSuccess);
    EXPECT_EQ(mode("a/store/HKEY_LOCAL_MACHINE.reg.lock"), 0664u);
}

TEST(RegistryNames, HiveNames) {
    EXPECT_EQ(parse_hive("HKLM"), Hive::LocalMachine);
    EXPECT_EQ(parse_hive("hkey_current_user"), Hive::CurrentUser);
    EXPECT_FALSE(parse_hive("HKEY_USERS").has_value());
    EXPECT_STREQ(hive_name(Hive::LocalMachine), "HKEY_LOCAL_MACHINE");
}

TEST(RegistryNames, RootFromEnvironment) {
    setenv("ALTIREN_REGISTRY_ROOT", "/tmp/some-root", 1);
    EXPECT_EQ(Registry().root(), "/tmp/some-root");
    unsetenv("ALTIREN_REGISTRY_ROOT");
    EXPECT_EQ(Registry().root(), "/var/lib/altiren/registry");
}

} // namespace
