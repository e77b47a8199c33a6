// Splits a text at one delimiter character.
#pragma once

#include <deque>
#include <string>

class CStringTokenizer {
public:
    CStringTokenizer() = default;
    virtual ~CStringTokenizer();

    // Appends the tokens of the text. Each delimiter ends a token (empty between
    // two adjacent delimiters); when the text holds a delimiter, the rest after
    // the last one is a last token. A text without a delimiter, or null, gives none.
    void MakeTokens(const char* text, char delimiter);
    bool HasMoreTokens() const { return !m_tokens.empty(); }
    // Removes and returns the first pending token; empty when none is pending.
    std::string NextToken();

private:
    std::deque<std::string> m_tokens;
};
