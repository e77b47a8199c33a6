#include "Fendrel/STopovelBaseParser.h"

#include "Fendrel/DomWriter.h"
#include "Fendrel/FendrelUtils.h"
#include "Fendrel/SNetBuildErrorHandler.h"

#include <xercesc/dom/DOMException.hpp>
#include <xercesc/util/XMLException.hpp>

#include <stdexcept>
#include <vector>

using fendrel::MethodTrace;
namespace xml = orvane::xml;

namespace {

// The records of the public operations carry the pointer type's name, the same text
// in every subclass; the protected helpers carry the class name.
const char kPointerClass[] = "CSTopovelBaseParser *";
const char kClass[] = "CSTopovelBaseParser";
const char kFile[] = "STopovelBaseParser";

} // namespace

CSTopovelBaseParser::CSTopovelBaseParser()
    : m_sDtdFileName("Topovel_1_2.dtd"), m_sVersion("1.2"), m_sDtdPath(GetDtdPath()) {}

CSTopovelBaseParser::CSTopovelBaseParser(const CSTopovelBaseParser& other) = default;

CSTopovelBaseParser& CSTopovelBaseParser::operator=(const CSTopovelBaseParser& other) = default;

CSTopovelBaseParser::~CSTopovelBaseParser() = default;

void CSTopovelBaseParser::SetTopovelVersion(const char* dtdFileName, const char* version) {
    m_sDtdFileName = dtdFileName ? dtdFileName : "";
    m_sVersion = version ? version : "";
}

void CSTopovelBaseParser::SetTopovelDtdPath(const char* dir) {
    m_sDtdPath = dir ? dir : "";
}

bool CSTopovelBaseParser::IsNULL() {
    return !m_pDocument;
}

NX_RC CSTopovelBaseParser::Parse(const char* xml, bool validate) {
    MethodTrace trace(kPointerClass, "Parse", kFile);
    // Let go of the old document first: whatever happens below, the object never holds
    // a half-built one.
    m_pDocument.reset();
    try {
        SNetBuildErrorHandler handler;
        xml::XmlDocument parsed;
        if (!xml::ParseFromMemory(xml, parsed, validate, &handler,
                                  m_sDtdPath.empty() ? nullptr : m_sDtdPath.c_str())) {
            trace.Error("Parse Failed:");
            return NX_FAILURE;
        }
        m_pDocument = std::move(parsed);
        return NX_SUCCESS;
    } catch (const xercesc::XMLException& e) {
        trace.Error("Parse Failed:");
        trace.Error(CSTranscodedString(e.getMessage()).Get());
    } catch (const xercesc::DOMException& e) {
        std::string text = "Parse Failed: DOM_DOMException, code= " + xml::IntToText(e.code);
        trace.Error(text.c_str());
    } catch (...) {
        trace.Error("Parse Failed: unknown exception");
    }
    m_pDocument.reset();
    return NX_FAILURE;
}

NX_RC CSTopovelBaseParser::GetXML(SHString& xml) {
    MethodTrace trace(kPointerClass, "GetXML", kFile, false);
    if (!m_pDocument) {
        trace.Error("Documnet not exist!");
        return NX_FAILURE;
    }
    try {
        std::string text = SerializeNode(m_pDocument.get());
        if (text.empty()) {
            trace.Error("Failed to get XML string");
            return NX_FAILURE;
        }
        xml.Assign(text.c_str());
        return xml.GetString() ? NX_SUCCESS : NX_NO_BUFFER;
    } catch (...) {
        trace.Error("Failed to get XML string");
        return NX_FAILURE;
    }
}

NX_RC CSTopovelBaseParser::SetRootAttribute(const char* attr, const char* value, const char* method,
                                            const char* failure) {
    MethodTrace trace(kPointerClass, method, kFile, false);
    return DomCall(
        trace, failure,
        [&] {
            xml::SetAttr(Root(), attr, value);
            return NX_SUCCESS;
        },
        nullptr);
}

NX_RC CSTopovelBaseParser::GetRootAttribute(const char* attr, SHString& value, const char* method,
                                            const char* failure) {
    MethodTrace trace(kPointerClass, method, kFile, false);
    return DomCall(
        trace, failure,
        [&] {
            value.Assign(xml::GetAttr(Root(), attr).c_str());
            return NX_SUCCESS;
        },
        nullptr);
}

NX_RC CSTopovelBaseParser::SetID(const char* id) {
    return SetRootAttribute("ID", id, "SetID", "Failed to set ID");
}

NX_RC CSTopovelBaseParser::GetID(SHString& id) {
    return GetRootAttribute("ID", id, "GetID", "Failed to Get ID");
}

NX_RC CSTopovelBaseParser::SetName(const char* name) {
    return SetRootAttribute("NAME", name, "SetName", "Failed to set Name");
}

NX_RC CSTopovelBaseParser::GetName(SHString& name) {
    return GetRootAttribute("NAME", name, "GetName", "Failed to Get Name");
}

NX_RC CSTopovelBaseParser::GetDocAttribute(const char* attr, SHString& value) {
    MethodTrace trace(kClass, "GetDocAttribute", kFile);
    return GetRootAttributes(trace, "Unknown exception... ", {{attr, &value}});
}

bool CSTopovelBaseParser::bGetUniqueElement(const char* tag, DOMElement** out) {
    MethodTrace trace(kClass, "bGetUniqueElement", kFile, false);
    if (!m_pDocument || !out)
        return false;
    try {
        DOMElement* found = nullptr;
        if (!xml::GetFirstElementByTag(tag, m_pDocument.get(), found)) {
            trace.Info("No Elements");
            return false;
        }
        *out = found;
        return true;
    } catch (...) {
        trace.Error("Failed to get node list");
        return false;
    }
}

xercesc::DOMElement* CSTopovelBaseParser::Root() const {
    if (!m_pDocument)
        throw std::logic_error("no document");
    DOMElement* root = m_pDocument->getDocumentElement();
    if (!root)
        throw std::logic_error("no document element");
    return root;
}

xercesc::DOMElement* CSTopovelBaseParser::FindElement(const char* tag) const {
    DOMElement* found = nullptr;
    if (m_pDocument)
        xml::GetFirstElementByTag(tag, m_pDocument.get(), found);
    return found;
}

bool CSTopovelBaseParser::CreateElementDocument(const char* rootTag, const char* id,
                                                const char* name) {
    return xml::CreateEmptyDocument(m_pDocument, rootTag, id, name, m_sDtdFileName.c_str(),
                                    m_sVersion.c_str(), false);
}

xercesc::DOMElement* CSTopovelBaseParser::NewElement(const char* tag,
                                                     std::initializer_list<AttrIn> attributes) {
    if (!m_pDocument)
        throw std::logic_error("no document");
    DOMElement* element = xml::CreateElement(m_pDocument.get(), tag);
    WriteAttributes(element, attributes);
    return element;
}

xercesc::DOMElement* CSTopovelBaseParser::AppendElement(DOMElement* parent, const char* tag,
                                                        std::initializer_list<AttrIn> attributes) {
    DOMElement* element = NewElement(tag, attributes);
    parent->appendChild(element);
    return element;
}

void CSTopovelBaseParser::RemoveElement(DOMElement* element) {
    if (element && element->getParentNode())
        element->getParentNode()->removeChild(element)->release();
}

void CSTopovelBaseParser::RemoveChildOf(xercesc::DOMNode* parent, xercesc::DOMNode* child) {
    parent->removeChild(child)->release();
}

bool CSTopovelBaseParser::RemoveRootChild(const char* tag) {
    DOMElement* element = FindElement(tag);
    if (!element)
        return false;
    RemoveChildOf(Root(), element);
    return true;
}

void CSTopovelBaseParser::RemoveEveryElement(DOMElement* parent, const char* tag) {
    while (DOMElement* element = FindElement(tag))
        RemoveChildOf(parent, element);
}

void CSTopovelBaseParser::CheckAttributes(std::initializer_list<AttrIn> attributes) {
    for (const AttrIn& attribute : attributes)
        if (!xml::IsXmlText(attribute.value))
            throw std::invalid_argument("text that cannot stand in XML");
}

void CSTopovelBaseParser::WriteAttributes(DOMElement* element,
                                          std::initializer_list<AttrIn> attributes) {
    // All or none: a refused text leaves the element as it was.
    CheckAttributes(attributes);
    for (const AttrIn& attribute : attributes)
        xml::SetAttr(element, attribute.name, attribute.value);
}

void CSTopovelBaseParser::ReadAttributes(const DOMElement* element,
                                         std::initializer_list<AttrOut> attributes) {
    // Read all first, then assign: a failure leaves every output as it was.
    std::vector<std::string> values;
    values.reserve(attributes.size());
    for (const AttrOut& attribute : attributes)
        values.push_back(xml::GetAttr(element, attribute.name));
    size_t i = 0;
    for (const AttrOut& attribute : attributes)
        attribute.value->Assign(values[i++].c_str());
}

NX_RC CSTopovelBaseParser::SetRootAttributes(const MethodTrace& trace, const char* failure,
                                             std::initializer_list<AttrIn> attributes,
                                             const char* noDocument) {
    return DomCall(
        trace, failure,
        [&] {
            WriteAttributes(Root(), attributes);
            return NX_SUCCESS;
        },
        noDocument);
}

NX_RC CSTopovelBaseParser::GetRootAttributes(const MethodTrace& trace, const char* failure,
                                             std::initializer_list<AttrOut> attributes,
                                             const char* noDocument) {
    return DomCall(
        trace, failure,
        [&] {
            ReadAttributes(Root(), attributes);
            return NX_SUCCESS;
        },
        noDocument);
}

NX_RC CSTopovelBaseParser::CreateNewElement(const MethodTrace& trace, const char* rootTag,
                                            const char* id, const char* name, const char* failure) {
    if (CreateElementDocument(rootTag, id, name))
        return NX_SUCCESS;
    if (failure)
        trace.Error(failure);
    return NX_FAILURE;
}

NX_RC CSTopovelBaseParser::GetElementAttributes(const MethodTrace& trace, const char* failure,
                                                const char* tag,
                                                std::initializer_list<AttrOut> attributes,
                                                const char* noDocument) {
    return DomCall(
        trace, failure,
        [&] {
            DOMElement* element = FindElement(tag);
            if (!element)
                return false;
            ReadAttributes(element, attributes);
            return true;
        },
        noDocument);
}

NX_RC CSTopovelBaseParser::SetElementAttributes(const MethodTrace& trace, const char* failure,
                                                const char* tag, const xml::TagOrder& order,
                                                std::initializer_list<AttrIn> attributes,
                                                const char* noDocument) {
    return DomCall(
        trace, failure,
        [&] {
            CheckAttributes(attributes);
            DOMElement* element = nullptr;
            if (!xml::GetOrCreateElement(m_pDocument.get(), element, tag, order, true))
                return false;
            WriteAttributes(element, attributes);
            return true;
        },
        noDocument);
}

NX_RC CSTopovelBaseParser::CountChildrenOf(const MethodTrace& trace, const char* failure,
                                           const char* tag, bool missingIsEmpty, unsigned& count) {
    if (!m_pDocument)
        count = 0;
    return DomCall(trace, failure, [&] {
        DOMElement* parent = FindElement(tag);
        if (!parent) {
            if (missingIsEmpty)
                count = 0;
            return missingIsEmpty;
        }
        return xml::CountChildElements(parent, count);
    });
}

bool CSTopovelBaseParser::WriteElementText(const DOMElement* element, SHString& xml) {
    std::string text = SerializeNode(element);
    xml.Assign(text.c_str());
    return !text.empty() && xml.GetString() != nullptr;
}

NX_RC CSTopovelBaseParser::ValidateWrittenDocument() {
    SHString text;
    if (!m_pDocument || GetXML(text) != NX_SUCCESS)
        return NX_FAILURE;
    SNetBuildErrorHandler handler;
    xml::XmlDocument scratch;
    return xml::ParseFromMemory(text.GetString(), scratch, true, &handler,
                                m_sDtdPath.empty() ? nullptr : m_sDtdPath.c_str())
               ? NX_SUCCESS
               : NX_FAILURE;
}

bool CSTopovelBaseParser::Given(std::initializer_list<const char*> texts) {
    for (const char* text : texts)
        if (!text || !xml::IsXmlText(text))
            return false;
    return true;
}

unsigned CSTopovelBaseParser::CountElements(const char* tag) const {
    if (!m_pDocument || !tag)
        return 0;
    xercesc::DOMNodeList* list = m_pDocument->getElementsByTagName(xml::ToX(tag).c_str());
    return list ? static_cast<unsigned>(list->getLength()) : 0;
}

xercesc::DOMElement* CSTopovelBaseParser::FindElementAt(const char* tag, unsigned index) const {
    if (!m_pDocument || !tag)
        return nullptr;
    xercesc::DOMNodeList* list = m_pDocument->getElementsByTagName(xml::ToX(tag).c_str());
    if (!list || index >= list->getLength())
        return nullptr;
    return static_cast<DOMElement*>(list->item(index));
}
