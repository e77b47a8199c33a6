#include "MgmtServer/MgmtServer.h"

#include <AltirenClient/MessageCoder.h>
#include <TestSupport/TempDir.h>

#include <gtest/gtest.h>
#include <httplib.h>

using namespace mgmt;

namespace {

// A request as the client sends it: the escaped query of an encrypted element.
std::string EncryptRequest(MessageCoder& coder, std::string xml) {
    EXPECT_TRUE(coder.EncryptDecryptMessage(xml, true));
    EXPECT_TRUE(coder.EscapeForURL(xml));
    return "/requestevent.php?BUFFER=" + xml;
}

class MgmtServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::write_file(dir / "slow.wst", std::string("W\0S\xffT", 5));
        testsupport::write_file(dir / "net.tvl", "<TOPOVEL/>");
        testsupport::write_file(dir / "notes.txt", "not offered");
        ServerOptions options;
        options.dataFile = (dir / "users.txt").string();
        options.filesDir = dir.str();
        server = std::make_unique<MgmtServer>(options);
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
        server->EditStore([](AccountStore& s) { s.AddUser({"ann", "pw", "ACC", "a@b"}); });
    }

    testsupport::TempDir dir{"mgmt"};
    std::unique_ptr<MgmtServer> server;
};

} // namespace

TEST(AccountStoreTest, SavesAndLoadsEveryKindOfLine) {
    testsupport::TempDir dir{"store"};
    std::string path = (dir / "data.txt").string(), error;
    AccountStore store;
    ASSERT_TRUE(store.AddUser({"a b", "p'w", "7", ""}));
    EXPECT_FALSE(store.AddUser({"a b", "other", "", ""}));
    EXPECT_FALSE(store.AddUser({"tab\there", "x", "", ""}));
    store.Presets() = {{"LATENCY", {"1", "2"}}};
    store.SetUpgradePriority("CRITICAL");
    ASSERT_TRUE(store.Save(path, error)) << error;

    AccountStore loaded;
    ASSERT_TRUE(loaded.Load(path, error)) << error;
    ASSERT_NE(loaded.FindUser("a b"), nullptr);
    EXPECT_EQ(loaded.FindUser("a b")->password, "p'w");
    EXPECT_EQ(loaded.FindUser("A B"), nullptr);
    ASSERT_EQ(loaded.Presets().size(), 1u);
    EXPECT_EQ(loaded.Presets()[0].values, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(loaded.Params().size(), 2u);
    EXPECT_EQ(loaded.UpgradePriority(), "CRITICAL");

    testsupport::write_file(dir / "bad.txt", "user\tonly-two\n");
    EXPECT_FALSE(loaded.Load((dir / "bad.txt").string(), error));
    EXPECT_NE(loaded.FindUser("a b"), nullptr); // unchanged
}

TEST(RequestCodecTest, ClientRequestsOpenAndRepliesOpenOnlyWithTheNonce) {
    XmlLibraryScope xmlLibrary;
    MessageCoder coder;
    std::string target = EncryptRequest(coder, "<ALTIREN_EVENT EVENT_TYPE='X' USER='u &amp; v'/>");
    std::string escaped, xml, error;
    ASSERT_TRUE(ExtractBuffer(target, escaped));
    uint32_t nonce = 0;
    ASSERT_TRUE(DecodeRequest(escaped, xml, nonce, error)) << error;
    EXPECT_EQ(nonce, coder.GetNonce());
    std::string root;
    Attributes attributes;
    ASSERT_TRUE(ParseRootElement(xml, root, attributes)) << xml;
    EXPECT_EQ(root, "ALTIREN_EVENT");
    EXPECT_EQ(Attribute(attributes, "USER"), "u & v");

    std::string reply;
    ASSERT_TRUE(EncodeReply("<R A='1'/>", nonce, reply, error));
    std::string copy = reply;
    ASSERT_TRUE(coder.EncryptDecryptMessage(copy, false));
    EXPECT_EQ(copy, "<R A='1'/>");
    ASSERT_TRUE(EncodeReply("<R/>", nonce + 1, reply, error));
    EXPECT_FALSE(coder.EncryptDecryptMessage(reply, false));

    EXPECT_FALSE(ParseRootElement("<A B='1'", root, attributes));
    EXPECT_FALSE(ExtractBuffer("/requestevent.php?OTHER=1", escaped));
}

TEST_F(MgmtServerTest, ProbeDownloadPageAndFilesBehindBasicAuthentication) {
    httplib::Client client("127.0.0.1", server->Port());
    auto probe = client.Head("/");
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->status, 200);
    auto page = client.Get("/Accounts/ACC/Downloads/DownLoadClient.php");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);

    auto anonymous = client.Get("/files/slow.wst");
    ASSERT_TRUE(anonymous);
    EXPECT_EQ(anonymous->status, 401);
    client.set_basic_auth("ann", "wrong");
    EXPECT_EQ(client.Get("/files/slow.wst")->status, 401);
    client.set_basic_auth("ann", "pw");
    auto file = client.Get("/files/slow.wst");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->status, 200);
    EXPECT_EQ(file->body, std::string("W\0S\xffT", 5));
    EXPECT_EQ(client.Get("/files/notes.txt")->status, 404);
    EXPECT_EQ(client.Get("/files/..%2Fusers.txt")->status, 404);
}

// A name that would open another file than it says: one cut short by a NUL byte, one
// with a separator of either kind, one that climbs out of the folder.
TEST_F(MgmtServerTest, FileNamesThatNameAnotherFileAreRefused) {
    testsupport::write_file(dir / "secret", "not offered");
    std::filesystem::create_directories(dir / "sub");
    testsupport::write_file(dir / "sub" / "in.wst", "nested");
    testsupport::write_file(dir / "a..b.wst", "dots");
    httplib::Client client("127.0.0.1", server->Port());
    client.set_basic_auth("ann", "pw");
    for (const char* name : {"secret%00.wst", "notes.txt%00.tvl", "sub%5Cin.wst", "sub%2Fin.wst",
                             "..%5Cmgmt.wst", "..%2F..%2Fx.wst", "a..b.wst"}) {
        auto res = client.Get(std::string("/files/") + name);
        ASSERT_TRUE(res) << name;
        EXPECT_EQ(res->status, 404) << name;
    }
    EXPECT_EQ(client.Get("/files/net.tvl")->status, 200);
}

TEST_F(MgmtServerTest, CreatedUsersAndChangedPasswordsReachTheDataFile) {
    httplib::Client client("127.0.0.1", server->Port());
    MessageCoder coder;
    auto send = [&](const std::string& xml) {
        auto res = client.Get(EncryptRequest(coder, xml));
        EXPECT_TRUE(res);
        std::string body = res ? res->body : std::string();
        EXPECT_TRUE(coder.EncryptDecryptMessage(body, false));
        return body;
    };
    EXPECT_NE(send("<ALTIREN_EVENT EVENT_TYPE='CREATE_USER' USER='bo' PASSWORD='1' "
                   "EMAIL='e' CLIENT_ACCOUNT_ID='A2'/>")
                  .find("PERMISSION='OK'"),
              std::string::npos);
    std::string changed = send("<ALTIREN_EVENT EVENT_TYPE='CHANGE_PASSWORD' USER='bo' "
                               "PASSWORD='1' NEW_PASSWORD='2' CONFIRM_PASSWORD='2'/>");
    EXPECT_NE(changed.find("PASSWORD='1' PERMISSION='OK'"), std::string::npos) << changed;
    EXPECT_NE(send("<ALTIREN_EVENT EVENT_TYPE='GET_CONFIGURABLE_PARAM'/>").find("USER_NAME_LENGTH"),
              std::string::npos);

    AccountStore saved;
    std::string error;
    ASSERT_TRUE(saved.Load((dir / "users.txt").string(), error)) << error;
    ASSERT_NE(saved.FindUser("bo"), nullptr);
    EXPECT_EQ(saved.FindUser("bo")->password, "2");
    EXPECT_EQ(saved.FindUser("bo")->account, "A2");
}

TEST_F(MgmtServerTest, UndecodableRequestsAreRefused) {
    httplib::Client client("127.0.0.1", server->Port());
    EXPECT_EQ(client.Get("/requestevent.php?BUFFER=bm90IGEgcGFja2V0")->status, 400);
    EXPECT_EQ(client.Get("/requestevent.php")->status, 400);
    EXPECT_EQ(server->RequestCount(), 0u);
}
