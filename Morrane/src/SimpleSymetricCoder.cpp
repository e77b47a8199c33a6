#include "Morrane/SimpleSymetricCoder.h"

namespace {

int signed_char(char c) {
    return static_cast<signed char>(c);
}

} // namespace

std::string SimpleSymetricCoder::Encode(const std::string& text, bool* ok) const {
    if (ok)
        *ok = !m_key.empty();
    std::string code;
    if (m_key.empty())
        return code;
    code.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        int s = signed_char(text[i]) + signed_char(m_key[i % m_key.size()]);
        code += static_cast<char>(s & 0xFF);
        code += static_cast<char>(((s >> 8) & 0xFF) + 1);
    }
    return code;
}

std::string SimpleSymetricCoder::Decode(const std::string& code, bool* ok) const {
    if (ok)
        *ok = !m_key.empty();
    std::string text;
    if (m_key.empty() || code.size() < 2 || code.size() % 2 != 0)
        return text;
    text.reserve(code.size() / 2);
    for (size_t j = 0; j < code.size() / 2; ++j) {
        int v = static_cast<unsigned char>(code[2 * j]) + (signed_char(code[2 * j + 1]) - 1) * 256;
        text += static_cast<char>(v - signed_char(m_key[j % m_key.size()]));
    }
    return text;
}
