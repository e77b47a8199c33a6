// Reads a delimited text file line by line and hands each field to a consumer.
#pragma once

#include "Morrane/StringTokenizer.h"

#include <cstdio>

// The four operations hold slots 0 to 3; the destructor follows them.
class ICSVParserConsumer {
public:
    virtual void OnStartOfFile() = 0;
    // After the fields of a line; the line's index counting from 0.
    virtual void OnEndOfLine(int line) = 0;
    virtual void OnField(int index, const char* text) = 0;
    virtual void OnEndOfFile(bool success) = 0;
    virtual ~ICSVParserConsumer();
};

class CCSVParser {
public:
    CCSVParser();
    explicit CCSVParser(ICSVParserConsumer* consumer);
    virtual ~CCSVParser();
    CCSVParser(const CCSVParser&) = delete;
    CCSVParser& operator=(const CCSVParser&) = delete;

    void SetConsumer(ICSVParserConsumer* consumer) { m_consumer = consumer; }
    void SetDelimeter(char delimiter) { m_delimiter = delimiter; }
    // Parses the file; lines may be of any length. Empty fields are skipped (and
    // not numbered) unless keepEmpty is set. A field keeps the line break that
    // ends its line. Nothing happens without a consumer.
    void ParseFile(const char* path, bool keepEmpty);

private:
    [[maybe_unused]] int m_flag = 1; // kept in the layout the class has always had
    FILE* m_file = nullptr;
    char m_delimiter = ',';
    CStringTokenizer m_tokenizer;
    ICSVParserConsumer* m_consumer = nullptr;
};
