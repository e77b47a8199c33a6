// The management server's side of the message encryption: requests open with key
// set B's request secret and carry the client's nonce; replies are sealed with the
// reply secret and must carry that nonce back.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace mgmt {

// The value of the query's BUFFER parameter, still URL-escaped; false when absent.
bool ExtractBuffer(const std::string& target, std::string& escaped);

// URL-unescapes, Base64-decodes and opens a request; xml is the text up to its
// terminating zero.
bool DecodeRequest(const std::string& escaped, std::string& xml, uint32_t& nonce,
                   std::string& error);

// Seals the text (with its terminating zero) under the reply secret with the nonce
// and Base64-encodes it.
bool EncodeReply(const std::string& xml, uint32_t nonce, std::string& encoded, std::string& error);

using Attributes = std::vector<std::pair<std::string, std::string>>;

// Keeps the XML parser library initialised while it lives (made and destroyed on one
// thread, around any use of ParseRootElement).
class XmlLibraryScope {
public:
    XmlLibraryScope();
    ~XmlLibraryScope();
    XmlLibraryScope(const XmlLibraryScope&) = delete;
    XmlLibraryScope& operator=(const XmlLibraryScope&) = delete;
    bool Ready() const { return m_ready; }

private:
    bool m_ready = false;
};

// Parses one XML element without validation or external entities and reads the
// root element's name and attributes (in the parser's order, not the text's).
bool ParseRootElement(const std::string& xml, std::string& root, Attributes& attributes);

// The value of the first attribute of that name; empty when absent.
std::string Attribute(const Attributes& attributes, const std::string& name);
bool HasAttribute(const Attributes& attributes, const std::string& name);

// Escapes & " ' < > for an attribute value or element text.
std::string EscapeXml(const std::string& text);
// Escapes a path segment for a URL.
std::string EscapeUrlSegment(const std::string& text);

} // namespace mgmt
