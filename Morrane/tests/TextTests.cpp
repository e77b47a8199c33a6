#include "Morrane/CSVParser.h"
#include "Morrane/LargeBuffer.h"
#include "Morrane/SimpleSymetricCoder.h"
#include "Morrane/StringTokenizer.h"

#include "TestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> tokens(const char* text, char delimiter) {
    CStringTokenizer tokenizer;
    tokenizer.MakeTokens(text, delimiter);
    std::vector<std::string> out;
    while (tokenizer.HasMoreTokens())
        out.push_back(tokenizer.NextToken());
    return out;
}

TEST(StringTokenizer, SplitsAtTheDelimiter) {
    using V = std::vector<std::string>;
    EXPECT_EQ(tokens("a,b,,c", ','), (V{"a", "b", "", "c"}));
    EXPECT_EQ(tokens("abc", ','), V{});
    EXPECT_EQ(tokens("a,", ','), (V{"a", ""}));
    EXPECT_EQ(tokens(",", ','), (V{"", ""}));
    EXPECT_EQ(tokens("", ','), V{});
    EXPECT_EQ(tokens(nullptr, ','), V{});
    EXPECT_EQ(tokens("x;y", ';'), (V{"x", "y"}));
    CStringTokenizer empty;
    EXPECT_EQ(empty.NextToken(), "");
}

// Records the consumer calls as text.
struct Log : ICSVParserConsumer {
    std::string text;
    void OnStartOfFile() override { text += "<"; }
    void OnEndOfLine(int line) override { text += "|" + std::to_string(line) + "\n"; }
    void OnField(int index, const char* field) override {
        text += "[" + std::to_string(index) + ":" + field + "]";
    }
    void OnEndOfFile(bool success) override { text += success ? ">" : "!"; }
};

std::string parse(const std::string& content, bool keepEmpty, char delimiter = ',') {
    testsupport::TempDir dir{"csv"};
    testsupport::write_file(dir / "in.csv", content);
    Log log;
    CCSVParser parser(&log);
    parser.SetDelimeter(delimiter);
    parser.ParseFile((dir / "in.csv").c_str(), keepEmpty);
    return log.text;
}

TEST(CSVParser, EmptyFieldsSkippedOrKept) {
    EXPECT_EQ(parse("1,,3", false), "<[0:1][1:3]|0\n>");
    EXPECT_EQ(parse("1,,3", true), "<[0:1][1:][2:3]|0\n>");
    // The last field keeps its line break; a line without delimiter gives no field.
    EXPECT_EQ(parse("a,b\nsingle\n", false), "<[0:a][1:b\n]|0\n|1\n>");
    EXPECT_EQ(parse("x;y", false, ';'), "<[0:x][1:y]|0\n>");
    EXPECT_EQ(parse("", false), "<>");
}

TEST(CSVParser, LinesOfAnyLengthStayWhole) {
    std::string longField(10000, 'z');
    std::string out = parse("a," + longField + ",b\n", false);
    EXPECT_EQ(out, "<[0:a][1:" + longField + "][2:b\n]|0\n>");
}

TEST(CSVParser, MissingFileOrConsumer) {
    Log log;
    CCSVParser parser(&log);
    parser.ParseFile("/nonexistent/altiren/none.csv", false);
    EXPECT_EQ(log.text, "<!");
    testsupport::TempDir dir{"csvdir"};
    log.text.clear();
    parser.ParseFile(dir.str().c_str(), false); // opens, but cannot be read
    EXPECT_EQ(log.text, "<!");
    CCSVParser silent;
    silent.ParseFile("/nonexistent/altiren/none.csv", false); // no consumer: nothing
}

TEST(LargeBuffer, GrowsByDoublingAndStaysTerminated) {
    SHLargeBuffer buffer;
    EXPECT_EQ(buffer.getCapacity(), 10000u);
    std::string block(10000, 'q');
    ASSERT_TRUE(buffer.Add(block.data(), static_cast<unsigned>(block.size())));
    EXPECT_EQ(buffer.getCapacity(), 20000u);
    ASSERT_TRUE(buffer.Add("xy", 2));
    unsigned length = 0;
    char* data = buffer.getBuffer(false, &length);
    EXPECT_EQ(length, 10002u);
    EXPECT_EQ(data[10002], '\0');
    EXPECT_EQ(std::string(data + 9998, 4), "qqxy");
}

TEST(LargeBuffer, CopiesOwnTheirDataAndDetachHandsItOver) {
    SHLargeBuffer buffer;
    buffer.Add("abc", 3);
    {
        SHLargeBuffer copy(buffer);
        copy.Add("def", 3);
        EXPECT_STREQ(copy.getBuffer(false, nullptr), "abcdef");
        SHLargeBuffer assigned;
        assigned = copy;
        EXPECT_STREQ(assigned.getBuffer(false, nullptr), "abcdef");
    } // ASan reports a double free if the copies shared the data
    EXPECT_STREQ(buffer.getBuffer(false, nullptr), "abc");
    unsigned length = 0;
    char* taken = buffer.getBuffer(true, &length);
    EXPECT_EQ(length, 3u);
    EXPECT_STREQ(taken, "abc");
    std::free(taken);
    EXPECT_EQ(buffer.getLength(), 0u);
    EXPECT_EQ(buffer.getCapacity(), 10000u);
    EXPECT_STREQ(buffer.getBuffer(false, nullptr), "");
}

TEST(LargeBuffer, RefusedGrowthKeepsTheContentAndCapacity) {
    SHLargeBuffer buffer;
    buffer.Add("keep", 4);
    // Far more than any allocator gives: the capacity must not be recorded.
    EXPECT_FALSE(buffer.Add("x", 0xFFFFFFF0u));
    EXPECT_EQ(buffer.getCapacity(), 10000u);
    EXPECT_STREQ(buffer.getBuffer(false, nullptr), "keep");
    EXPECT_FALSE(buffer.Add(nullptr, 3)); // no bytes to copy from
    EXPECT_TRUE(buffer.Add(nullptr, 0));
    EXPECT_STREQ(buffer.getBuffer(false, nullptr), "keep");
}

TEST(SimpleSymetricCoder, RoundTrip) {
    SimpleSymetricCoder coder("key");
    std::string code = coder.Encode("abc");
    EXPECT_EQ(code.size(), 6u);
    // 'a' + 'k' = 97 + 107 = 204: low byte 204, high byte 0 + 1.
    EXPECT_EQ(static_cast<unsigned char>(code[0]), 204u);
    EXPECT_EQ(code[1], 1);
    EXPECT_EQ(coder.Decode(code), "abc");
}

TEST(SimpleSymetricCoder, BytesAbove127RoundTrip) {
    SimpleSymetricCoder coder(std::string("\xC8\x01k\xFF", 4));
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    std::string code = coder.Encode(all);
    EXPECT_EQ(code.size(), 512u);
    EXPECT_EQ(coder.Decode(code), all);
}

TEST(SimpleSymetricCoder, EmptyKeyAndMalformedCodeAreRefused) {
    SimpleSymetricCoder coder;
    bool ok = true;
    EXPECT_EQ(coder.Encode("abc", &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_EQ(coder.Decode("ab", &ok), "");
    EXPECT_FALSE(ok);
    SimpleSymetricCoder keyed("k");
    EXPECT_EQ(keyed.Decode("a"), "");
    EXPECT_EQ(keyed.Decode("abc"), "");
    EXPECT_EQ(keyed.Decode(""), "");
}

} // namespace
