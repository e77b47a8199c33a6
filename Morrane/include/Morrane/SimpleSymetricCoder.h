// Reversible two-characters-per-character text coding under a key text.
#pragma once

#include <string>

class SimpleSymetricCoder {
public:
    explicit SimpleSymetricCoder(const std::string& key = std::string()) : m_key(key) {}

    void SetKey(const std::string& key) { m_key = key; }
    const std::string& GetKey() const { return m_key; }

    // Twice as long as the text; may hold any byte, zero included. An empty key
    // is refused: the result is empty and ok (when given) is false.
    std::string Encode(const std::string& text, bool* ok = nullptr) const;
    // Empty for a code shorter than 2 characters, of odd length, or an empty key.
    std::string Decode(const std::string& code, bool* ok = nullptr) const;

private:
    std::string m_key;
};
