#include "Fendrel/STallivoreDocParser.h"

#include <xercesc/dom/DOMException.hpp>
#include <xercesc/util/XMLException.hpp>

using fendrel::MethodTrace;
namespace xml = orvane::xml;

namespace {

const char kClass[] = "CSTallivoreDocParser";
const char kFile[] = "CSTallivoreDocParser";
const char kUnknown[] = "Unknown exception";

} // namespace

#define STAT_DOC_TRACE NX_METHOD_TRACE(kClass, kFile)

CSTallivoreDocParser::CSTallivoreDocParser() = default;

CSTallivoreDocParser::CSTallivoreDocParser(const char* dtdFileName, const char* version) {
    SetTopovelVersion(dtdFileName, version);
}

CSTallivoreDocParser::~CSTallivoreDocParser() = default;

NX_RC CSTallivoreDocParser::CreateNew(const char* id, const char* name) {
    STAT_DOC_TRACE;
    if (!xml::CreateEmptyDocument(m_pDocument, "TALLIVORE", id, name, m_sDtdFileName.c_str(),
                                  m_sVersion.c_str(), true)) {
        trace.Error("Fail to crreate Tallivore Dcoument");
        return NX_FAILURE;
    }
    return NX_SUCCESS;
}

NX_RC CSTallivoreDocParser::GetVersion(SHString& version) {
    STAT_DOC_TRACE;
    return GetDocAttribute("TOPOVEL_VERSION", version);
}

NX_RC CSTallivoreDocParser::GetPlayTimeOffset(SHString& offset) {
    STAT_DOC_TRACE;
    return GetDocAttribute("PLAY_TIME_OFFSET", offset);
}

NX_RC CSTallivoreDocParser::Validate() {
    STAT_DOC_TRACE;
    if (!m_pDocument) {
        trace.Error("No Document created .");
        return NX_FAILURE;
    }
    try {
        return ValidateWrittenDocument();
    } catch (const xercesc::XMLException& e) {
        trace.Error("Validation Failed");
        trace.Error(CSTranscodedString(e.getMessage()).Get());
    } catch (const xercesc::DOMException& e) {
        std::string text = "Validation Failed: DOM_DOMException, code= " + xml::IntToText(e.code);
        trace.Error(text.c_str());
    } catch (...) {
        trace.Error("Validation Failed: unknown exception");
    }
    return NX_FAILURE;
}

xercesc::DOMElement* CSTallivoreDocParser::StatObjectById(const char* id) const {
    DOMElement* found = nullptr;
    xml::FindElementByAttribute(Container(), nullptr, "ID", id, found);
    return found;
}

xercesc::DOMElement* CSTallivoreDocParser::StatObjectAt(unsigned int index) const {
    DOMElement* found = nullptr;
    xml::GetChildElementAt(Container(), index, found);
    return found;
}

NX_RC CSTallivoreDocParser::GetStatObjectsCount(unsigned int& count) {
    STAT_DOC_TRACE;
    return CountChildrenOf(trace, kUnknown, "NET_OBJECTS_STATS", true, count);
}

NX_RC CSTallivoreDocParser::GetStatObjectXML(const char* id, SHString& xml) {
    STAT_DOC_TRACE;
    return DomCall(trace, kUnknown, [&] {
        DOMElement* object = StatObjectById(id);
        return object && WriteElementText(object, xml);
    });
}

NX_RC CSTallivoreDocParser::GetStatObjectXML(unsigned int index, SHString& tag, SHString& xml) {
    STAT_DOC_TRACE;
    return DomCall(trace, kUnknown, [&] {
        DOMElement* object = StatObjectAt(index);
        if (!object)
            return false;
        tag.Assign(xml::TagName(object).c_str());
        return WriteElementText(object, xml);
    });
}

NX_RC CSTallivoreDocParser::GetStatObjectTag(const char* id, SHString& tag) {
    STAT_DOC_TRACE;
    return DomCall(trace, kUnknown, [&] {
        DOMElement* object = StatObjectById(id);
        if (!object)
            return false;
        tag.Assign(xml::TagName(object).c_str());
        return true;
    });
}

NX_RC CSTallivoreDocParser::RemoveStatObjectByIndex(unsigned int index) {
    STAT_DOC_TRACE;
    return DomCall(trace, kUnknown, [&] {
        DOMElement* object = StatObjectAt(index);
        if (!object)
            return false;
        RemoveElement(object);
        return true;
    });
}

NX_RC CSTallivoreDocParser::RemoveStatObjectByTagName(const char* tag) {
    STAT_DOC_TRACE;
    return DomCall(trace, kUnknown, [&] {
        DOMElement* container = Container();
        if (!tag || !*tag || !container)
            return false;
        RemoveEveryElement(container, tag);
        return true;
    });
}
