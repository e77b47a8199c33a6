#include "Fendrel/STopovelDocumentParser.h"

#include "Fendrel/DomWriter.h"

#include <xercesc/dom/DOMException.hpp>

#include <algorithm>
#include <cstdlib>

using fendrel::MethodTrace;
using xercesc::DOMElement;
using xercesc::DOMNode;
namespace xml = orvane::xml;

#define DOC_TRACE MethodTrace trace(kClass, __func__, kFile)

namespace {

const char kClass[] = "CSTopovelDocParser";
const char kFile[] = "STopovelDocumentParser";
const char kNoDocument[] = "No Document created .";

// Order of the root's children.
const xml::TagOrder& root_order() {
    static const xml::TagOrder order{"NET_OBJECTS", "LINKS", "RECORDING_DATA", "USER_DATA"};
    return order;
}

std::shared_ptr<const std::string> copy_text(const char* text) {
    return text ? std::make_shared<const std::string>(text) : nullptr;
}

// Direct children that are elements, in order.
std::vector<DOMElement*> child_elements(const DOMNode* parent) {
    std::vector<DOMElement*> out;
    for (DOMNode* child = parent ? parent->getFirstChild() : nullptr; child;
         child = child->getNextSibling())
        if (child->getNodeType() == DOMNode::ELEMENT_NODE)
            out.push_back(static_cast<DOMElement*>(child));
    return out;
}

} // namespace

CSTopovelDocParser::CSTopovelDocParser() : m_pRecorded(std::make_shared<RecordedBlocks>()) {}

CSTopovelDocParser::CSTopovelDocParser(const char* a, const char* b) : CSTopovelDocParser() {
    m_pFirstText = copy_text(a);
    m_pSecondText = copy_text(b);
}

CSTopovelDocParser::CSTopovelDocParser(const char* a, const char* b, const char* dtdFileName)
    : CSTopovelDocParser(a, b) {
    SetTopovelVersion(dtdFileName, a);
}

CSTopovelDocParser::CSTopovelDocParser(const CSTopovelDocParser& other) = default;

CSTopovelDocParser& CSTopovelDocParser::operator=(const CSTopovelDocParser& other) = default;

CSTopovelDocParser::~CSTopovelDocParser() = default;

// ---------------------------------------------------------------- document

NX_RC CSTopovelDocParser::CreateNew(const char* id, const char* name) {
    DOC_TRACE;
    NewRecordedBlocks();
    if (!xml::CreateEmptyDocument(m_pDocument, "TOPOVEL", id, name, m_sDtdFileName.c_str(),
                                  m_sVersion.c_str(), true)) {
        trace.Error("Fail to crreate Topovel Dcoument");
        return NX_FAILURE;
    }
    return NX_SUCCESS;
}

NX_RC CSTopovelDocParser::CreateNew(const char* id, const char* name, const char* origin) {
    DOC_TRACE;
    NX_RC rc = CreateNew(id, name);
    if (rc != NX_SUCCESS)
        return rc;
    return SetRootAttributes(trace, "Unknown exception... ", {{"ORIGIN", origin}});
}

NX_RC CSTopovelDocParser::Parse(const char* xml, bool validate) {
    DOC_TRACE;
    NewRecordedBlocks();
    try {
        std::string cut;
        std::vector<std::string> labels;
        long length = CutRecordedBlocks(xml, cut, labels);
        NX_RC rc = CSTopovelBaseParser::Parse(length > 0 ? cut.c_str() : xml, validate);
        if (rc != NX_SUCCESS)
            NewRecordedBlocks();
        return rc;
    } catch (...) {
        trace.Error("Unknown exception");
        m_pDocument.reset();
        NewRecordedBlocks();
        return NX_FAILURE;
    }
}

NX_RC CSTopovelDocParser::GetXML(SHString& xml) {
    DOC_TRACE;
    try {
        NX_RC rc = CSTopovelBaseParser::GetXML(xml);
        if (rc != NX_SUCCESS)
            return rc == NX_NO_BUFFER ? rc : NX_FAILURE;
        char* restored = nullptr;
        long length = RestoreRecordedBlocksFromMap(xml.GetString(), &restored);
        if (length < 0)
            return NX_FAILURE;
        if (length > 0)
            xml.Attach(restored);
        return NX_SUCCESS;
    } catch (...) {
        trace.Error("Unknown exception");
        return NX_FAILURE;
    }
}

NX_RC CSTopovelDocParser::Validate() {
    DOC_TRACE;
    if (!m_pDocument) {
        trace.Error(kNoDocument);
        return NX_FAILURE;
    }
    try {
        return ValidateWrittenDocument();
    } catch (...) {
        trace.Error("Unknown exception");
        return NX_FAILURE;
    }
}

// ---------------------------------------------------------------- root attributes

#define ROOT_SETTER(method, attribute, noDocument)                                                 \
    NX_RC CSTopovelDocParser::method(const char* text) {                                           \
        DOC_TRACE;                                                                                 \
        return SetRootAttributes(trace, "Unknown exception... ", {{attribute, text}}, noDocument); \
    }
#define ROOT_GETTER(method, attribute, noDocument)                                                 \
    NX_RC CSTopovelDocParser::method(SHString& text) {                                             \
        DOC_TRACE;                                                                                 \
        return GetRootAttributes(trace, "Unknown exception... ", {{attribute, &text}},             \
                                 noDocument);                                                      \
    }

ROOT_SETTER(SetDescription, "DESCRIPTION", kNoDocument)
ROOT_GETTER(GetDescription, "DESCRIPTION", kNoDocument)
ROOT_SETTER(SetCreatedBy, "CREATED_BY", kNoDocument)
ROOT_GETTER(GetCreatedBy, "CREATED_BY", kNoDocument)
ROOT_SETTER(SetUserData, "USER_DATA", kNoDocument)
ROOT_GETTER(GetUserData, "USER_DATA", kNoDocument)
ROOT_SETTER(SetCreatedOnHostName, "CREATED_ON_HOST_NAME", "No Document created.")
ROOT_GETTER(GetCreatedOnHostName, "CREATED_ON_HOST_NAME", "No Document created.")
ROOT_SETTER(SetCreatedOnDate, "CREATED_ON_DATE", "No Document created.")
ROOT_GETTER(GetCreatedOnDate, "CREATED_ON_DATE", "No Document created.")
ROOT_GETTER(GetName, "NAME", kNoDocument)
ROOT_GETTER(GetOrigin, "ORIGIN", kNoDocument)

// ---------------------------------------------------------------- lookups

DOMElement* CSTopovelDocParser::RootChild(const char* tag) const {
    DOMElement* found = nullptr;
    if (m_pDocument)
        xml::GetChildElementByTag(tag, m_pDocument->getDocumentElement(), found);
    return found;
}

DOMElement* CSTopovelDocParser::NetObjectById(const char* id) const {
    DOMElement* found = nullptr;
    if (DOMElement* objects = NetObjects())
        xml::FindElementByAttribute(objects, nullptr, "ID", id, found);
    return found;
}

DOMElement* CSTopovelDocParser::DataBlockByName(const char* name) const {
    DOMElement* found = nullptr;
    if (DOMElement* data = FindElement("RECORDING_DATA"))
        xml::FindElementByAttribute(data, nullptr, "NAME", name, found);
    return found;
}

DOMElement* CSTopovelDocParser::DataBlockAt(unsigned index) const {
    DOMElement* found = nullptr;
    if (DOMElement* data = FindElement("RECORDING_DATA"))
        xml::GetChildElementAt(data, index, found);
    return found;
}

DOMElement* CSTopovelDocParser::ImportFragment(const char* xml, bool cutRecorded,
                                               std::vector<std::string>& labels) {
    if (!xml || HoldsStoredLabel(xml))
        return nullptr;
    std::string cut;
    const char* text = xml;
    if (cutRecorded) {
        long length = CutRecordedBlocks(xml, cut, labels);
        if (length < 0)
            return nullptr;
        if (length > 0)
            text = cut.c_str();
    } else {
        // Labels given out later pass the fragment's comments by, as after a cut.
        CountPastLabelsIn(xml);
    }
    xml::XmlDocument fragment;
    DOMElement* element = nullptr;
    if (!xml::ParseElementText(text, fragment, element))
        return nullptr;
    return static_cast<DOMElement*>(m_pDocument->importNode(element, true));
}

// ---------------------------------------------------------------- network objects

NX_RC CSTopovelDocParser::GetNetObjectsCount(unsigned& count) {
    DOC_TRACE;
    return CountChildrenOf(trace, "Unknown exception", "NET_OBJECTS", false, count);
}

NX_RC CSTopovelDocParser::AddNetObject(const char* xml) {
    DOC_TRACE;
    return DomCall(trace, "Unknown exception", [&] {
        DOMElement* objects = NetObjects();
        if (!objects)
            return false;
        std::vector<std::string> labels;
        DOMElement* imported = ImportFragment(xml, false, labels);
        if (!imported)
            return false;
        objects->appendChild(imported);
        return true;
    });
}

NX_RC CSTopovelDocParser::ReplaceNetObject(const char* id, const char* xml) {
    DOC_TRACE;
    return DomCall(trace, "ReplaceNetObject Failed: unknown exception", [&] {
        DOMElement* objects = NetObjects();
        if (!objects || !id)
            return false;
        std::vector<std::string> labels;
        DOMElement* imported = ImportFragment(xml, false, labels);
        if (!imported)
            return false;
        std::string tag = xml::TagName(imported);
        for (DOMElement* child : child_elements(objects))
            if (xml::TagName(child) == tag && xml::GetAttr(child, "ID") == id &&
                xml::HasAttr(child, "ID")) {
                objects->replaceChild(imported, child)->release();
                return true;
            }
        imported->release();
        return false;
    });
}

NX_RC CSTopovelDocParser::DeleteNetObject(const char* id) {
    DOC_TRACE;
    return DomCall(trace, "Delete Object Failed: unknown exception", [&] {
        DOMElement* object = NetObjectById(id);
        if (!object)
            return false;
        RemoveElement(object);
        return true;
    });
}

NX_RC CSTopovelDocParser::GetNetObjectXML(const char* id, SHString& xml) {
    DOC_TRACE;
    return DomCall(trace, "GetNetObjectXML Failed: unknown exception", [&] {
        DOMElement* object = NetObjectById(id);
        return object && WriteElementText(object, xml);
    });
}

NX_RC CSTopovelDocParser::GetNetObjectXML(unsigned index, SHString& xml, SHString& tag) {
    DOC_TRACE;
    return DomCall(trace, "GetNetObjectXML Failed: unknown exception", [&] {
        DOMElement* object = nullptr;
        if (!xml::GetChildElementAt(NetObjects(), index, object))
            return false;
        tag.Assign(xml::TagName(object).c_str());
        return WriteElementText(object, xml);
    });
}

NX_RC CSTopovelDocParser::RemoveNetObject(unsigned index) {
    DOC_TRACE;
    return DomCall(trace, "Unknown exception", [&] {
        DOMElement* object = nullptr;
        if (!xml::GetChildElementAt(NetObjects(), index, object))
            return false;
        RemoveElement(object);
        return true;
    });
}

NX_RC CSTopovelDocParser::RemoveNetObjects(const char* tag) {
    DOC_TRACE;
    return DomCall(trace, "Unknown exception", [&] {
        DOMElement* objects = NetObjects();
        if (!objects || !tag)
            return false;
        // An element of that tag outside NET_OBJECTS makes removeChild throw.
        RemoveEveryElement(objects, tag);
        return true;
    });
}

NX_RC CSTopovelDocParser::EmptyNetObjects(const char* tag) {
    DOC_TRACE;
    return DomCall(trace, "EmptyNetObjects Failed: unknown exception", [&] {
        if (!tag)
            return false;
        xercesc::DOMNodeList* list = Root()->getElementsByTagName(xml::ToX(tag).c_str());
        std::vector<DOMElement*> elements;
        for (XMLSize_t i = 0; list && i < list->getLength(); ++i)
            elements.push_back(static_cast<DOMElement*>(list->item(i)));
        // Later elements first: a nested one is emptied before its ancestor drops it.
        for (auto it = elements.rbegin(); it != elements.rend(); ++it)
            while (DOMNode* child = (*it)->getFirstChild())
                RemoveChildOf(*it, child);
        return true;
    });
}

NX_RC CSTopovelDocParser::GetNetObjectTag(const char* id, SHString& tag) {
    DOC_TRACE;
    return DomCall(trace, "GetNetObjectTag Failed: unknown exception", [&] {
        DOMElement* object = NetObjectById(id);
        if (!object)
            return false;
        tag.Assign(xml::TagName(object).c_str());
        return true;
    });
}

bool CSTopovelDocParser::IsNetObjectExist(const char* tag) {
    DOC_TRACE;
    return DomCall(
               trace, "Unknown exception", [&] { return FindElement(tag) != nullptr; }, nullptr) ==
           NX_SUCCESS;
}

// ---------------------------------------------------------------- links

NX_RC CSTopovelDocParser::LinkNetObjects(const char* from, const char* to, bool unidirectional) {
    DOC_TRACE;
    return DomCall(trace, "Unknown exception", [&] {
        DOMElement* links = nullptr;
        if (!xml::GetOrCreateElement(Doc(), links, "LINKS", root_order(), true))
            return false;
        AppendElement(links, "LINK",
                      {{"FROM_OBJECT", from},
                       {"TO_OBJECT", to},
                       {"UNIDIRECTIONAL", unidirectional ? "true" : "false"}});
        return true;
    });
}

NX_RC CSTopovelDocParser::GetLinksCount(unsigned& count) {
    DOC_TRACE;
    return DomCall(trace, "Unknown Exception.", [&] {
        DOMElement* links = nullptr;
        if (!bGetUniqueElement("LINKS", &links)) {
            trace.Error("No Links Objects exist. ");
            return false;
        }
        return xml::CountChildElements(links, count);
    });
}

NX_RC CSTopovelDocParser::GetLinkNetObjects(unsigned index, SHString& from, SHString& to,
                                            bool& unidirectional) {
    DOC_TRACE;
    return DomCall(trace, "Unknown exception", [&] {
        DOMElement* links = nullptr;
        if (!bGetUniqueElement("LINKS", &links)) {
            trace.Error("No Links Objects exist. ");
            return false;
        }
        DOMElement* link = nullptr;
        if (!xml::GetChildElementAt(links, index, link))
            return false;
        ReadAttributes(link, {{"FROM_OBJECT", &from}, {"TO_OBJECT", &to}});
        unidirectional = xml::GetAttr(link, "UNIDIRECTIONAL") != "false";
        return true;
    });
}

NX_RC CSTopovelDocParser::UnLinkNetObjects(const char* from, const char* to, bool) {
    DOC_TRACE;
    return DomCall(trace, "Failed to UnLink objects", [&] {
        DOMElement* links = nullptr;
        if (!bGetUniqueElement("LINKS", &links)) {
            trace.Info("No links created.");
            return true;
        }
        if (!links->hasChildNodes()) {
            trace.Info("No linked objects.");
            return true;
        }
        if (!from && !to) {
            while (DOMNode* child = links->getFirstChild())
                RemoveChildOf(links, child);
            return true;
        }
        for (DOMElement* link : child_elements(links)) {
            bool fromMatches = from && xml::GetAttr(link, "FROM_OBJECT") == from;
            bool toMatches = to && xml::GetAttr(link, "TO_OBJECT") == to;
            if (from && to) {
                if (fromMatches && toMatches) {
                    RemoveChildOf(links, link);
                    break;
                }
            } else if (fromMatches || toMatches) {
                RemoveChildOf(links, link);
            }
        }
        return true;
    });
}

bool CSTopovelDocParser::IsLinked(const char* from, const char* to) {
    DOC_TRACE;
    if (!from || !to)
        return false;
    return DomCall(trace, "Unknown exception", [&] {
               DOMElement* links = nullptr;
               if (!bGetUniqueElement("LINKS", &links) || !links->hasChildNodes()) {
                   trace.Info("No links created.");
                   return false;
               }
               for (DOMElement* link : child_elements(links))
                   if (xml::GetAttr(link, "FROM_OBJECT") == from &&
                       xml::GetAttr(link, "TO_OBJECT") == to)
                       return true;
               return false;
           }) == NX_SUCCESS;
}

NX_RC CSTopovelDocParser::RemoveLinks() {
    DOC_TRACE;
    return DomCall(trace, "Exception.", [&] { return RemoveRootChild("LINKS"); });
}

NX_RC CSTopovelDocParser::GetLinkedNetObject(const char* id, SHString& other, unsigned index) {
    DOC_TRACE;
    return DomCall(trace, "Unknown exception", [&] {
        DOMElement* links = nullptr;
        if (!id || !bGetUniqueElement("LINKS", &links))
            return false;
        unsigned seen = 0;
        for (DOMElement* link : child_elements(links)) {
            std::string from = xml::GetAttr(link, "FROM_OBJECT");
            std::string to = xml::GetAttr(link, "TO_OBJECT");
            if (from != id && to != id)
                continue;
            if (seen++ == index) {
                other.Assign(from == id ? to.c_str() : from.c_str());
                return true;
            }
        }
        return false;
    });
}

// ---------------------------------------------------------------- recorded data

NX_RC CSTopovelDocParser::GetDataBlocksCount(unsigned& count) {
    DOC_TRACE;
    return CountChildrenOf(trace, "Unknown exception", "RECORDING_DATA", true, count);
}

NX_RC CSTopovelDocParser::AddDataBlock(const char* xml) {
    DOC_TRACE;
    std::vector<std::string> labels;
    NX_RC rc = DomCall(
        trace, "Unknown exception",
        [&] {
            try {
                DOMElement* imported = ImportFragment(xml, true, labels);
                if (!imported)
                    return false;
                DOMElement* data = nullptr;
                if (!xml::GetOrCreateElement(Doc(), data, "RECORDING_DATA", root_order(), true)) {
                    imported->release();
                    return false;
                }
                data->appendChild(imported);
                return true;
            } catch (const xercesc::DOMException& e) {
                std::string text = "Failed to create DOM document: DOM_DOMException, code= " +
                                   xml::IntToText(e.code);
                trace.Error(text.c_str());
                return false;
            }
        },
        " Document is not exist !");
    // A failed add keeps none of the blocks it stored.
    if (rc != NX_SUCCESS && m_pDocument)
        DropLabels(labels);
    return rc;
}

NX_RC CSTopovelDocParser::AddDataBlock(CSTopovelBaseParser& block) {
    DOC_TRACE;
    if (!m_pDocument) {
        trace.Error(" Document is not exist !");
        return NX_FAILURE;
    }
    SHString text;
    if (block.GetXML(text) != NX_SUCCESS)
        return NX_FAILURE;
    return AddDataBlock(text.GetString());
}

NX_RC CSTopovelDocParser::ReplaceDataBlock(const char* name, const char* xml) {
    DOC_TRACE;
    std::vector<std::string> labels;
    NX_RC rc = DomCall(trace, "ReplaceDataBlock Failed: unknown exception", [&] {
        DOMElement* data = FindElement("RECORDING_DATA");
        if (!data || !name)
            return false;
        DOMElement* old = DataBlockByName(name);
        if (!old)
            return false;
        DOMElement* imported = ImportFragment(xml, true, labels);
        if (!imported)
            return false;
        data->replaceChild(imported, old)->release();
        return true;
    });
    if (rc != NX_SUCCESS && m_pDocument)
        DropLabels(labels);
    return rc;
}

NX_RC CSTopovelDocParser::DeleteDataBlockElement(DOMElement* block) {
    std::string text = SerializeNode(block);
    DropLabelsIn(text);
    RemoveElement(block);
    return NX_SUCCESS;
}

NX_RC CSTopovelDocParser::DeleteDataBlock(const char* name) {
    DOC_TRACE;
    return DomCall(trace, "Delete Object Failed: unknown exception", [&] {
        DOMElement* block = DataBlockByName(name);
        return block ? DeleteDataBlockElement(block) : NX_FAILURE;
    });
}

NX_RC CSTopovelDocParser::DeleteDataBlock(unsigned index) {
    DOC_TRACE;
    return DomCall(trace, "Unknown exception", [&] {
        DOMElement* block = DataBlockAt(index);
        return block ? DeleteDataBlockElement(block) : NX_FAILURE;
    });
}

NX_RC CSTopovelDocParser::RemoveAllRecordedData() {
    DOC_TRACE;
    return DomCall(trace, "Unknown exception", [&] {
        if (DOMElement* data = RootChild("RECORDING_DATA"))
            RemoveChildOf(Root(), data);
        ClearRecordedBlocksMap();
        return true;
    });
}

NX_RC CSTopovelDocParser::WriteDataBlock(DOMElement* block, SHString& xml) {
    if (!block)
        return NX_FAILURE;
    std::string text = SerializeNode(block);
    if (text.empty())
        return NX_FAILURE;
    std::string restored;
    long length = RestoreRecordedBlocks(text.c_str(), restored);
    if (length < 0)
        return NX_FAILURE;
    xml.Assign(length > 0 ? restored.c_str() : text.c_str());
    return xml.GetString() ? NX_SUCCESS : NX_FAILURE;
}

NX_RC CSTopovelDocParser::GetDataBlockXML(const char* name, SHString& xml) {
    DOC_TRACE;
    return DomCall(trace, "Unknown exception",
                   [&] { return WriteDataBlock(DataBlockByName(name), xml); });
}

NX_RC CSTopovelDocParser::GetDataBlockXML(unsigned index, SHString& xml) {
    DOC_TRACE;
    return DomCall(trace, "Unknown exception",
                   [&] { return WriteDataBlock(DataBlockAt(index), xml); });
}

// ---------------------------------------------------------------- user data

NX_RC CSTopovelDocParser::SetUserDataBlock(const char* value, const char* name) {
    DOC_TRACE;
    return DomCall(trace, "Unknown exception", [&] {
        DOMElement* entry = NewElement("USER_DATA_VALUE", {{"NAME", name}});
        if (!xml::SetElementText(Doc(), entry, value)) {
            trace.Error("Fail set Node Value");
            entry->release();
            return false;
        }
        DOMElement* userData = nullptr;
        if (!xml::GetOrCreateElement(Doc(), userData, "USER_DATA", root_order(), true)) {
            entry->release();
            return false;
        }
        userData->appendChild(entry);
        return true;
    });
}

NX_RC CSTopovelDocParser::GetUserDataBlock(SHString& value, const char* name) {
    DOC_TRACE;
    return DomCall(trace, "Unknown exception", [&] {
        DOMElement* userData = RootChild("USER_DATA");
        if (!userData) {
            trace.Warning("No User Data Exist.");
            return false;
        }
        DOMElement* entry = nullptr;
        if (!name ||
            !xml::FindElementByAttribute(userData, "USER_DATA_VALUE", "NAME", name, entry)) {
            trace.Warning("No User Data Name matched.");
            return false;
        }
        std::string text;
        if (!xml::GetElementText(entry, text)) {
            trace.Error("Fail get Node Value");
            return false;
        }
        value.Assign(text.c_str());
        return true;
    });
}
