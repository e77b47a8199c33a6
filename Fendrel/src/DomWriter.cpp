#include "Fendrel/DomWriter.h"

#include "OrvaneXercesUtils/OrvaneXercesUtils.h"

#include <xercesc/dom/DOM.hpp>

#include <iostream>
#include <stdexcept>
#include <strings.h>

using namespace xercesc;
using orvane::xml::AppendUtf8;
using orvane::xml::NextCodePoint;

namespace {

// The writer of one call: walks the node without recursion (a deeply nested document
// cannot exhaust the stack) and appends to one growing buffer.
class CSDomWriter {
public:
    explicit CSDomWriter(const DOMNode* node) : m_pNode(node), m_bLatin1(DeclaresLatin1(node)) {}

    std::string Write() {
        m_out.reserve(4096);
        Walk();
        m_out += '\n';
        return std::move(m_out);
    }

private:
    enum class Escape { None, Cdata, Text, Attribute };

    // A whole document the library created declares iso-8859-1; every other text has
    // no declaration and is UTF-8.
    static bool DeclaresLatin1(const DOMNode* node) {
        if (node->getNodeType() != DOMNode::DOCUMENT_NODE)
            return false;
        const auto* declaration =
            orvane::xml::GetXmlDeclaration(static_cast<const DOMDocument*>(node));
        return declaration && declaration->encoding &&
               strcasecmp(declaration->encoding, "iso-8859-1") == 0;
    }

    static bool is_container(const DOMNode* node) {
        auto type = node->getNodeType();
        return type == DOMNode::ELEMENT_NODE || type == DOMNode::DOCUMENT_NODE;
    }

    void Walk() {
        const DOMNode* top = m_pNode;
        const DOMNode* node = top;
        Enter(node);
        for (;;) {
            if (is_container(node) && node->getFirstChild()) {
                node = node->getFirstChild();
                Enter(node);
                continue;
            }
            Leave(node);
            while (node != top && !node->getNextSibling()) {
                node = node->getParentNode();
                Leave(node);
            }
            if (node == top)
                return;
            node = node->getNextSibling();
            Enter(node);
        }
    }

    void Enter(const DOMNode* node) {
        switch (node->getNodeType()) {
        case DOMNode::ELEMENT_NODE: {
            Put('<');
            PutString(node->getNodeName(), Escape::None);
            const DOMNamedNodeMap* attributes = node->getAttributes();
            for (XMLSize_t i = 0; attributes && i < attributes->getLength(); ++i) {
                const DOMNode* attribute = attributes->item(i);
                Put(' ');
                PutString(attribute->getNodeName(), Escape::None);
                Put("=\"");
                PutString(attribute->getNodeValue(), Escape::Attribute);
                Put('"');
            }
            Put(node->hasChildNodes() ? ">" : "/>");
            break;
        }
        case DOMNode::TEXT_NODE:
            PutString(node->getNodeValue(), Escape::Text);
            break;
        case DOMNode::CDATA_SECTION_NODE:
            Put("<![CDATA[");
            PutString(node->getNodeValue(), Escape::Cdata);
            Put("]]>");
            break;
        case DOMNode::ENTITY_REFERENCE_NODE:
            Put('&');
            PutString(node->getNodeName(), Escape::None);
            Put(';');
            break;
        case DOMNode::ENTITY_NODE: {
            auto entity = static_cast<const DOMEntity*>(node);
            Put("<!ENTITY ");
            PutString(entity->getNodeName(), Escape::None);
            PutQuoted("PUBLIC ", entity->getPublicId());
            PutQuoted("SYSTEM ", entity->getSystemId());
            PutQuoted("NDATA ", entity->getNotationName());
            Put(">\n");
            break;
        }
        case DOMNode::PROCESSING_INSTRUCTION_NODE: {
            Put("<?");
            PutString(node->getNodeName(), Escape::None);
            const XMLCh* data = node->getNodeValue();
            if (data && *data) {
                Put(' ');
                PutString(data, Escape::None);
            }
            Put("?>");
            break;
        }
        case DOMNode::COMMENT_NODE:
            Put("<!--");
            PutString(node->getNodeValue(), Escape::None);
            Put("-->");
            break;
        case DOMNode::DOCUMENT_NODE:
            if (const auto* declaration =
                    orvane::xml::GetXmlDeclaration(static_cast<const DOMDocument*>(node))) {
                Put("<?xml version=\"");
                Put(declaration->version);
                Put("\" encoding=\"");
                Put(declaration->encoding);
                Put('"');
                if (declaration->standalone && *declaration->standalone) {
                    Put(" standalone=\"");
                    Put(declaration->standalone);
                    Put('"');
                }
                // The declaration's own line feed and the one after each top-level node.
                Put("?>\n\n");
            }
            break;
        case DOMNode::DOCUMENT_TYPE_NODE: {
            auto type = static_cast<const DOMDocumentType*>(node);
            Put("<!DOCTYPE ");
            PutString(type->getName(), Escape::None);
            const XMLCh* publicId = type->getPublicId();
            const XMLCh* systemId = type->getSystemId();
            if (publicId && *publicId) {
                Put(" PUBLIC \"");
                PutString(publicId, Escape::None);
                Put('"');
                if (systemId && *systemId) {
                    Put(" \"");
                    PutString(systemId, Escape::None);
                    Put('"');
                }
            } else if (systemId && *systemId) {
                Put(" SYSTEM \"");
                PutString(systemId, Escape::None);
                Put('"');
            }
            const XMLCh* subset = type->getInternalSubset();
            if (subset && *subset) {
                Put('[');
                PutString(subset, Escape::None);
                Put(']');
            }
            Put('>');
            break;
        }
        default:
            std::cerr << "Unrecognized node type = " << node->getNodeType() << '\n';
            break;
        }
    }

    void Leave(const DOMNode* node) {
        if (node->getNodeType() == DOMNode::ELEMENT_NODE && node->hasChildNodes()) {
            Put("</");
            PutString(node->getNodeName(), Escape::None);
            Put('>');
        }
        const DOMNode* parent = node->getParentNode();
        if (node != m_pNode && parent && parent->getNodeType() == DOMNode::DOCUMENT_NODE)
            Put('\n');
    }

    void PutQuoted(const char* keyword, const XMLCh* value) {
        if (!value || !*value)
            return;
        Put(keyword);
        Put('"');
        PutString(value, Escape::None);
        Put('"');
    }

    void PutString(const XMLCh* text, Escape escape) {
        if (!text)
            return;
        size_t length = xercesc::XMLString::stringLen(text);
        for (size_t i = 0; i < length;) {
            char32_t c = NextCodePoint(text, length, i);
            if (escape == Escape::None || escape == Escape::Cdata) {
                PutRaw(c, escape);
                continue;
            }
            switch (c) {
            case '&':
                Put("&amp;");
                continue;
            case '<':
                Put("&lt;");
                continue;
            case '>':
                Put("&gt;");
                continue;
            case '\r':
                Put("&#13;");
                continue;
            default:
                break;
            }
            if (escape == Escape::Attribute) {
                switch (c) {
                case '"':
                    Put("&quot;");
                    continue;
                case '\'':
                    Put("&apos;");
                    continue;
                case '\t':
                    Put("&#9;");
                    continue;
                case '\n':
                    Put("&#10;");
                    continue;
                default:
                    break;
                }
            }
            if (c > 126) {
                Put("&#");
                Put(orvane::xml::IntToText(static_cast<long long>(c)).c_str());
                Put(';');
            } else {
                m_out += static_cast<char>(c);
            }
        }
    }

    // A character where no reference can stand (a name, a comment, a processing
    // instruction), in the output's encoding. Latin-1 has no form for a character above
    // U+00FF: a CDATA section is closed around its reference, anything else cannot be
    // written and the whole text fails.
    void PutRaw(char32_t c, Escape escape) {
        if (c < 0x80) {
            m_out += static_cast<char>(c);
        } else if (!m_bLatin1) {
            AppendUtf8(m_out, c);
        } else if (c <= 0xFF) {
            m_out += static_cast<char>(static_cast<unsigned char>(c));
        } else if (escape == Escape::Cdata) {
            Put("]]>&#");
            Put(orvane::xml::IntToText(static_cast<long long>(c)).c_str());
            Put(";<![CDATA[");
        } else {
            throw std::range_error("character without a form in iso-8859-1");
        }
    }

    void Put(char c) { m_out += c; }
    void Put(const char* text) { m_out += text; }

    const DOMNode* m_pNode;
    const bool m_bLatin1;
    std::string m_out;
};

} // namespace

std::string SerializeNode(const DOMNode* node) {
    if (!node)
        return std::string();
    try {
        return CSDomWriter(node).Write();
    } catch (...) {
        return std::string();
    }
}
