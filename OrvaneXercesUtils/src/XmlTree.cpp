#include "OrvaneXercesUtils/OrvaneXercesUtils.h"

#include <algorithm>
#include <stdexcept>

using namespace xercesc;

namespace orvane::xml {

namespace {

const XMLCh kDeclarationKey[] = u"orvane.xml-declaration";
const XmlDeclaration kCreatedDeclaration{"1.0", "iso-8859-1", "no"};

bool is_xml_text(const XString& text) {
    for (XMLCh c : text)
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF)
            return false;
    return true;
}

bool is_element(const DOMNode* node) {
    return node && node->getNodeType() == DOMNode::ELEMENT_NODE;
}

bool tag_is(const DOMNode* node, const XString& tag) {
    return is_element(node) && tag == static_cast<const DOMElement*>(node)->getTagName();
}

// Pre-order walk of the descendants of `top`; the first element with the tag.
DOMElement* first_descendant(const DOMNode* top, const XString& tag) {
    const DOMNode* node = top->getFirstChild();
    while (node) {
        if (tag_is(node, tag))
            return const_cast<DOMElement*>(static_cast<const DOMElement*>(node));
        if (node->getFirstChild()) {
            node = node->getFirstChild();
            continue;
        }
        while (node && node != top && !node->getNextSibling())
            node = node->getParentNode();
        if (!node || node == top)
            break;
        node = node->getNextSibling();
    }
    return nullptr;
}

} // namespace

bool CreateEmptyDocument(XmlDocument& document, const char* rootTag, const char* id,
                         const char* name, const char* dtdFileName, const char* version,
                         bool documentMode) {
    document.reset();
    if (!rootTag)
        return false;
    try {
        DOMImplementation* impl = DOMImplementation::getImplementation();
        XString root = ToX(rootTag);
        XmlDocument built;
        if (documentMode) {
            DOMDocumentType* type =
                impl->createDocumentType(root.c_str(), nullptr, ToX(dtdFileName).c_str());
            built = AdoptDocument(impl->createDocument(nullptr, root.c_str(), type));
            // The declaration is not a node in this DOM: the mark tells the writer.
            built->setUserData(kDeclarationKey, const_cast<XmlDeclaration*>(&kCreatedDeclaration),
                               nullptr);
            DOMElement* element = built->getDocumentElement();
            SetAttr(element, "ID", id);
            SetAttr(element, "NAME", name);
            SetAttr(element, "TOPOVEL_VERSION", version);
            if (root == u"TOPOVEL") {
                element->appendChild(CreateElement(built.get(), "NET_OBJECTS"));
                element->appendChild(CreateElement(built.get(), "LINKS"));
            } else if (root == u"TALLIVORE") {
                element->appendChild(CreateElement(built.get(), "NET_OBJECTS_STATS"));
            }
        } else {
            built = AdoptDocument(impl->createDocument(nullptr, root.c_str(), nullptr));
            DOMElement* element = built->getDocumentElement();
            if (id)
                SetAttr(element, "ID", id);
            if (name)
                SetAttr(element, "NAME", name);
        }
        document = std::move(built);
        return true;
    } catch (...) {
        return false;
    }
}

const XmlDeclaration* GetXmlDeclaration(const DOMDocument* document) {
    if (!document)
        return nullptr;
    return static_cast<const XmlDeclaration*>(document->getUserData(kDeclarationKey));
}

bool GetFirstElementByTag(const char* tag, const DOMDocument* document, DOMElement*& out) {
    if (!tag || !document)
        return false;
    // The document element first, then its descendants.
    DOMElement* root = document->getDocumentElement();
    try {
        if (root && tag_is(root, ToX(tag))) {
            out = root;
            return true;
        }
    } catch (...) {
        return false;
    }
    return GetFirstElementByTag(tag, root, out);
}

bool GetFirstElementByTag(const char* tag, const DOMElement* parent, DOMElement*& out) {
    if (!tag || !parent)
        return false;
    try {
        DOMElement* found = first_descendant(parent, ToX(tag));
        if (!found)
            return false;
        out = found;
        return true;
    } catch (...) {
        return false;
    }
}

bool GetChildElementByTag(const char* tag, const DOMNode* node, DOMElement*& out) {
    if (!tag || !node)
        return false;
    try {
        XString wanted = ToX(tag);
        for (DOMNode* child = node->getFirstChild(); child; child = child->getNextSibling()) {
            if (tag_is(child, wanted)) {
                out = static_cast<DOMElement*>(child);
                return true;
            }
        }
    } catch (...) {
    }
    return false;
}

bool FindElementByAttribute(const DOMElement* parent, const char* tag, const char* attribute,
                            const char* value, DOMElement*& out) {
    if (!parent || !attribute || !value)
        return false;
    try {
        XString name = ToX(attribute);
        XString wanted = ToX(value);
        // An element without the attribute has no value to match, not even "".
        auto matches = [&](const DOMNode* node) {
            if (!is_element(node))
                return false;
            auto element = static_cast<const DOMElement*>(node);
            return element->hasAttribute(name.c_str()) &&
                   wanted == element->getAttribute(name.c_str());
        };
        if (!tag) {
            for (DOMNode* child = parent->getFirstChild(); child; child = child->getNextSibling())
                if (matches(child)) {
                    out = static_cast<DOMElement*>(child);
                    return true;
                }
            return false;
        }
        DOMNodeList* list = parent->getElementsByTagName(ToX(tag).c_str());
        for (XMLSize_t i = 0; list && i < list->getLength(); ++i)
            if (matches(list->item(i))) {
                out = static_cast<DOMElement*>(list->item(i));
                return true;
            }
    } catch (...) {
    }
    return false;
}

bool GetOrCreateElement(DOMDocument* document, DOMElement*& out, const char* tag,
                        const TagOrder& order, bool create) {
    if (!document || !tag)
        return false;
    try {
        DOMElement* root = document->getDocumentElement();
        if (order.empty() ? GetFirstElementByTag(tag, document, out)
                          : GetChildElementByTag(tag, root, out))
            return true;
        if (!create || !root)
            return false;
        DOMElement* element = CreateElement(document, tag);
        if (order.empty())
            root->appendChild(element);
        else if (!InsertChildInOrder(root, element, order))
            return false;
        out = element;
        return true;
    } catch (...) {
        return false;
    }
}

bool InsertChildInOrder(DOMElement* parent, DOMElement* child, const TagOrder& order) {
    if (!parent || !child)
        return false;
    try {
        std::string tag = TagName(child);
        auto at = std::find(order.begin(), order.end(), tag);
        if (parent->hasChildNodes() && at != order.end()) {
            for (++at; at != order.end(); ++at) {
                DOMElement* later = nullptr;
                if (GetChildElementByTag(at->c_str(), parent, later)) {
                    parent->insertBefore(child, later);
                    return true;
                }
            }
        }
        parent->appendChild(child);
        return true;
    } catch (...) {
        return false;
    }
}

bool CountChildElements(const DOMNode* node, unsigned& count) {
    if (!node)
        return false;
    unsigned n = 0;
    for (DOMNode* child = node->getFirstChild(); child; child = child->getNextSibling())
        if (is_element(child))
            ++n;
    count = n;
    return true;
}

bool GetChildElementAt(const DOMNode* node, unsigned index, DOMElement*& out) {
    if (!node)
        return false;
    unsigned n = 0;
    for (DOMNode* child = node->getFirstChild(); child; child = child->getNextSibling()) {
        if (!is_element(child))
            continue;
        if (n++ == index) {
            out = static_cast<DOMElement*>(child);
            return true;
        }
    }
    return false;
}

bool GetElementText(const DOMElement* element, std::string& text) {
    if (!element)
        return false;
    try {
        for (DOMNode* child = element->getFirstChild(); child; child = child->getNextSibling())
            if (child->getNodeType() == DOMNode::TEXT_NODE) {
                text = ToUtf8(child->getNodeValue());
                break;
            }
        return true;
    } catch (...) {
        return false;
    }
}

bool IsXmlText(const char* text) {
    return is_xml_text(ToX(text));
}

bool SetElementText(DOMDocument* document, DOMNode* node, const char* text) {
    if (!document || !node)
        return false;
    try {
        XString value = ToX(text);
        if (!is_xml_text(value))
            return false;
        if (node->getNodeType() == DOMNode::TEXT_NODE) {
            node->setNodeValue(value.c_str());
            return true;
        }
        for (DOMNode* child = node->getFirstChild(); child; child = child->getNextSibling())
            if (child->getNodeType() == DOMNode::TEXT_NODE) {
                node->removeChild(child)->release();
                break;
            }
        node->appendChild(document->createTextNode(value.c_str()));
        return true;
    } catch (...) {
        return false;
    }
}

std::string GetAttr(const DOMElement* element, const char* name) {
    if (!element || !name)
        return std::string();
    return ToUtf8(element->getAttribute(ToX(name).c_str()));
}

bool HasAttr(const DOMElement* element, const char* name) {
    return element && name && element->hasAttribute(ToX(name).c_str());
}

void SetAttr(DOMElement* element, const char* name, const char* value) {
    XString text = ToX(value);
    if (!is_xml_text(text))
        throw std::invalid_argument("text that cannot stand in XML");
    element->setAttribute(ToX(name).c_str(), text.c_str());
}

DOMElement* CreateElement(DOMDocument* document, const char* tag) {
    return document->createElement(ToX(tag).c_str());
}

std::string TagName(const DOMElement* element) {
    return element ? ToUtf8(element->getTagName()) : std::string();
}

} // namespace orvane::xml
