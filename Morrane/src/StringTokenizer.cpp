#include "Morrane/StringTokenizer.h"

CStringTokenizer::~CStringTokenizer() = default;

void CStringTokenizer::MakeTokens(const char* text, char delimiter) {
    if (!text)
        return;
    const std::string copy(text);
    size_t start = 0;
    bool found = false;
    for (size_t i = 0; i < copy.size(); ++i) {
        if (copy[i] == delimiter) {
            m_tokens.push_back(copy.substr(start, i - start));
            start = i + 1;
            found = true;
        }
    }
    if (found)
        m_tokens.push_back(copy.substr(start));
}

std::string CStringTokenizer::NextToken() {
    if (m_tokens.empty())
        return std::string();
    std::string token = std::move(m_tokens.front());
    m_tokens.pop_front();
    return token;
}
