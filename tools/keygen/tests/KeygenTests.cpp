#include "AltirenClient/KeySets.h"

#include <TestSupport/TempDir.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <vector>

using altiren::crypto::ComputeSharedSecret;

namespace {

// The byte arrays of a generated source file, by name.
std::map<std::string, std::vector<uint8_t>> ParseArrays(const std::string& text) {
    std::map<std::string, std::vector<uint8_t>> arrays;
    std::regex array(R"(const unsigned char (\w+)\[\] = \{([^}]*)\};)");
    std::regex byte(R"(0x([0-9a-f]{2}))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), array);
         it != std::sregex_iterator(); ++it) {
        std::string body = (*it)[2];
        std::vector<uint8_t>& bytes = arrays[(*it)[1]];
        for (auto b = std::sregex_iterator(body.begin(), body.end(), byte);
             b != std::sregex_iterator(); ++b)
            bytes.push_back(static_cast<uint8_t>(std::stoul((*b)[1], nullptr, 16)));
    }
    return arrays;
}

std::vector<uint8_t> Secret(std::map<std::string, std::vector<uint8_t>>& a, const char* priv,
                            const char* pub) {
    std::vector<uint8_t> s;
    EXPECT_TRUE(ComputeSharedSecret(a[priv].data(), static_cast<unsigned long>(a[priv].size()),
                                    a[pub].data(), static_cast<unsigned long>(a[pub].size()), s))
        << priv << " " << pub;
    return s;
}

} // namespace

TEST(Keygen, WritesTwoKeySetsThatPairAsDesigned) {
    testsupport::TempDir dir("keygen");
    std::string out = (dir / "KeyBlobs.cpp").string();
    std::string command = std::string(KEYGEN_PATH) + " " + out + " 128 > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    auto arrays = ParseArrays(testsupport::read_file(out));
    ASSERT_EQ(arrays.size(), 8u);

    std::vector<uint8_t> request = Secret(arrays, "kSetAPrivate1", "kSetAPublic1");
    std::vector<uint8_t> reply = Secret(arrays, "kSetAPrivate2", "kSetAPublic2");
    EXPECT_FALSE(request.empty());
    EXPECT_NE(request, reply);
    EXPECT_EQ(Secret(arrays, "kSetBPrivate1", "kSetBPublic1"), request);
    EXPECT_EQ(Secret(arrays, "kSetBPrivate2", "kSetBPublic2"), reply);
}
