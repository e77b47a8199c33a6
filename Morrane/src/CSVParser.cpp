#include "Morrane/CSVParser.h"

#include <cstdlib>
#include <string>

ICSVParserConsumer::~ICSVParserConsumer() = default;

CCSVParser::CCSVParser() = default;

CCSVParser::CCSVParser(ICSVParserConsumer* consumer) : m_consumer(consumer) {}

CCSVParser::~CCSVParser() {
    if (m_file)
        std::fclose(m_file);
}

void CCSVParser::ParseFile(const char* path, bool keepEmpty) {
    if (!m_consumer)
        return;
    m_consumer->OnStartOfFile();
    m_file = path ? std::fopen(path, "r") : nullptr;
    if (!m_file) {
        m_consumer->OnEndOfFile(false);
        return;
    }
    char* line = nullptr;
    size_t capacity = 0;
    int lineIndex = 0;
    ssize_t n;
    // getline reads whole lines, however long, with their line break.
    while ((n = ::getline(&line, &capacity, m_file)) != -1) {
        if (n == 0)
            continue;
        m_tokenizer.MakeTokens(line, m_delimiter);
        int field = 0;
        while (m_tokenizer.HasMoreTokens()) {
            std::string token = m_tokenizer.NextToken();
            if (token.empty() && !keepEmpty)
                continue;
            m_consumer->OnField(field++, token.c_str());
        }
        m_consumer->OnEndOfLine(lineIndex++);
    }
    std::free(line);
    // A read that failed (a folder, an I/O error) is no complete parse.
    const bool complete = !std::ferror(m_file);
    std::fclose(m_file);
    m_file = nullptr;
    m_consumer->OnEndOfFile(complete);
}
