#include "Fendrel/SDSGatewayParser.h"

#include "Fendrel/DomWriter.h"

#include <string_view>

using fendrel::MethodTrace;
namespace xml = orvane::xml;

namespace {

const char kGatewayClass[] = "CSDSGatewayParser";
const char kBlockClass[] = "CSDSTrafficControlBlock";
const char kClassClass[] = "CSDSClass";
const char kFile[] = "SDSGatewayParser";
const char kNoDocument[] = "No Document created.";
const char kException[] = "Exception";

// The plain queue operations of a DiffServ gateway: a failure record without entry and
// exit records.
NX_RC NotImplemented(const char* method) {
    MethodTrace(kGatewayClass, method, kFile, false).Error("Not Implemented");
    return NX_FAILURE;
}

} // namespace

// ---------------------------------------------------------------- DiffServ gateway

#define DS_GATEWAY_TRACE NX_METHOD_TRACE(kGatewayClass, kFile)

CSDSGatewayParser::CSDSGatewayParser() = default;

CSDSGatewayParser::CSDSGatewayParser(const char* dtdFileName, const char* version)
    : CSGatewayParser(dtdFileName, version) {}

CSDSGatewayParser::~CSDSGatewayParser() = default;

const char* CSDSGatewayParser::GetTagName(const char* tag) {
    if (!tag)
        return nullptr;
    if (std::string_view(tag) == "GATEWAY")
        return "DS_GATEWAY";
    if (std::string_view(tag) == "NICS")
        return "DS_NICS";
    if (std::string_view(tag) == "NIC")
        return "DS_NIC";
    return nullptr;
}

NX_RC CSDSGatewayParser::CreateNew(const char* id, const char* name) {
    DS_GATEWAY_TRACE;
    return CreateNewElement(trace, "DS_GATEWAY", id, name, "Fail to create GATEWAY object");
}

NX_RC CSDSGatewayParser::SetInOutQueue(const char*, const char*, const char*, bool) {
    return NotImplemented(__func__);
}

NX_RC CSDSGatewayParser::GetInOutQueue(const char*, SHString&, SHString&, bool) {
    return NotImplemented(__func__);
}

NX_RC CSDSGatewayParser::RemoveQueue(const char*, bool) {
    return NotImplemented(__func__);
}

NX_RC CSDSGatewayParser::SetQueuePolicyDropTail(const char*, bool) {
    return NotImplemented(__func__);
}

NX_RC CSDSGatewayParser::SetQueuePolicyRED(const char*, bool, const char*, const char*) {
    return NotImplemented(__func__);
}

NX_RC CSDSGatewayParser::GetQueuePolicy(const char*, bool, SHString&, SHString&, SHString&) {
    return NotImplemented(__func__);
}

bool CSDSGatewayParser::PlaceTrafficControlBlock(DOMElement* nic, const char* xml) {
    xml::XmlDocument fragment;
    DOMElement* parsed = nullptr;
    if (!nic || !xml || !xml::ParseElementText(xml, fragment, parsed))
        return false;
    auto* block = static_cast<DOMElement*>(Doc()->importNode(parsed, true));
    DOMElement* old = nullptr;
    if (xml::GetFirstElementByTag("DS_TRAFFIC_CONTROL_BLOCK", nic, old)) {
        // The replaced block is not released: an element handed out by
        // GetTrafficControlBlock stays valid until the document goes.
        old->getParentNode()->replaceChild(block, old);
    } else {
        nic->appendChild(block);
    }
    return true;
}

NX_RC CSDSGatewayParser::AddTrafficControlBlock(const char* nicId, const char* xml) {
    DS_GATEWAY_TRACE;
    return DomCall(
        trace, kException,
        [&] {
            DOMElement* nic = nullptr;
            if (!xml::FindElementByAttribute(Root(), "DS_NIC", "ID", nicId, nic)) {
                trace.Error("No NIC with ID specified");
                return false;
            }
            if (!PlaceTrafficControlBlock(nic, xml)) {
                trace.Error("Fail add TrafficControlBlock to NIC");
                return false;
            }
            return true;
        },
        kNoDocument);
}

NX_RC CSDSGatewayParser::AddTrafficControlBlock(unsigned int nicIndex, const char* xml) {
    DS_GATEWAY_TRACE;
    return DomCall(
        trace, kException,
        [&] {
            DOMElement* nics = FindElement("DS_NICS");
            DOMElement* nic = nullptr;
            if (!nics) {
                trace.Error("No NICS found in Gateway");
                return false;
            }
            if (!xml::GetChildElementAt(nics, nicIndex, nic)) {
                trace.Error("Invalid NIC index");
                return false;
            }
            if (!PlaceTrafficControlBlock(nic, xml)) {
                trace.Error("Fail add TrafficControlBlock to NIC");
                return false;
            }
            return true;
        },
        kNoDocument);
}

NX_RC CSDSGatewayParser::GetTrafficControlBlock(unsigned int nicIndex, CSDomElementRef& block) {
    if (!m_pDocument)
        return NX_FAILURE;
    DS_GATEWAY_TRACE;
    const char failure[] = "Failed to get diff-serv traffic control node";
    return DomCall(trace, failure, [&] {
        xercesc::DOMNodeList* nics = Root()->getElementsByTagName(xml::ToX("DS_NIC").c_str());
        if (nics->getLength() == 0)
            return false;
        if (nicIndex >= nics->getLength()) {
            trace.Error(failure);
            return false;
        }
        DOMElement* found = nullptr;
        if (!xml::GetFirstElementByTag("DS_TRAFFIC_CONTROL_BLOCK",
                                       static_cast<DOMElement*>(nics->item(nicIndex)), found))
            return false;
        block = CSDomElementRef(m_pDocument, found);
        return true;
    });
}

// ---------------------------------------------------------------- traffic control block

#define DS_BLOCK_TRACE NX_METHOD_TRACE(kBlockClass, kFile)

CSDSTrafficControlBlock::CSDSTrafficControlBlock() = default;

CSDSTrafficControlBlock::CSDSTrafficControlBlock(const char* dtdFileName, const char* version) {
    SetTopovelVersion(dtdFileName, version);
}

CSDSTrafficControlBlock::~CSDSTrafficControlBlock() = default;

NX_RC CSDSTrafficControlBlock::CreateNew(const char*, const char*) {
    DS_BLOCK_TRACE;
    return NX_FAILURE;
}

NX_RC CSDSTrafficControlBlock::CreateNew(const char* id, const char* name,
                                         const char* queuingSystem) {
    DS_BLOCK_TRACE;
    if (CreateNewElement(trace, "DS_TRAFFIC_CONTROL_BLOCK", id, name,
                         "Fail to create DS_TRAFFIC_CONTROL_BLOCK object") != NX_SUCCESS)
        return NX_FAILURE;
    return SetRootAttributes(trace, kException, {{"QUEUING_SYSTEM", queuingSystem}}, kNoDocument);
}

NX_RC CSDSTrafficControlBlock::GetQueueingModel(SHString& model) {
    DS_BLOCK_TRACE;
    return GetRootAttributes(trace, kException, {{"QUEUING_SYSTEM", &model}}, kNoDocument);
}

NX_RC CSDSTrafficControlBlock::GetClassCount(unsigned int& count) {
    DS_BLOCK_TRACE;
    return DomCall(
        trace, kException, [&] { return xml::CountChildElements(Root(), count); }, kNoDocument);
}

NX_RC CSDSTrafficControlBlock::GetClass(unsigned int index, CSDSClass& cls) {
    DS_BLOCK_TRACE;
    return DomCall(
        trace, kException,
        [&] {
            DOMElement* element = nullptr;
            if (!xml::GetChildElementAt(Root(), index, element)) {
                trace.Error("Invalid Class Index");
                return NX_FAILURE;
            }
            return cls.Parse(SerializeNode(element).c_str(), false);
        },
        kNoDocument);
}

// ---------------------------------------------------------------- traffic class

#define DS_CLASS_TRACE NX_METHOD_TRACE(kClassClass, kFile)

CSDSClass::CSDSClass() = default;

CSDSClass::CSDSClass(const char* dtdFileName, const char* version) {
    SetTopovelVersion(dtdFileName, version);
}

CSDSClass::~CSDSClass() = default;

NX_RC CSDSClass::CreateNew(const char*, const char*) {
    DS_CLASS_TRACE;
    return NX_FAILURE;
}

NX_RC CSDSClass::CreateNew(bool isDefault, const char* name, const char* dscp) {
    DS_CLASS_TRACE;
    if (CreateNewElement(trace, isDefault ? "DS_DEFAULT_CLASS" : "DS_CLASS", nullptr, name,
                         "Fail to create DS_CLASS object") != NX_SUCCESS)
        return NX_FAILURE;
    return SetRootAttributes(trace, kException, {{"DSCP", dscp}}, kNoDocument);
}

xercesc::DOMElement* CSDSClass::Required(const MethodTrace& trace, const char* tag,
                                         const char* missing) {
    DOMElement* element = nullptr;
    if (!bGetUniqueElement(tag, &element)) {
        trace.Error(missing);
        return nullptr;
    }
    return element;
}

NX_RC CSDSClass::ReadRequired(const MethodTrace& trace, const char* tag, const char* missing,
                              std::initializer_list<AttrOut> attributes) {
    return DomCall(
        trace, kException,
        [&] {
            DOMElement* element = Required(trace, tag, missing);
            if (element)
                ReadAttributes(element, attributes);
            return element != nullptr;
        },
        kNoDocument);
}

xercesc::DOMElement* CSDSClass::RequiredChild(const MethodTrace& trace, const char* tag,
                                              const char* missing, const char* childTag,
                                              const char* empty) {
    DOMElement* parent = Required(trace, tag, missing);
    if (!parent)
        return nullptr;
    DOMElement* child = nullptr;
    bool found = childTag ? xml::GetFirstElementByTag(childTag, parent, child)
                          : xml::GetChildElementAt(parent, 0, child);
    if (!found) {
        trace.Error(empty);
        return nullptr;
    }
    return child;
}

NX_RC CSDSClass::IsDefaultClass(bool& isDefault) {
    DS_CLASS_TRACE;
    return DomCall(
        trace, kException,
        [&] {
            isDefault = xml::TagName(Root()) == "DS_DEFAULT_CLASS";
            return true;
        },
        kNoDocument);
}

NX_RC CSDSClass::GetDSCP(SHString& dscp) {
    DS_CLASS_TRACE;
    return GetRootAttributes(trace, kException, {{"DSCP", &dscp}}, kNoDocument);
}

NX_RC CSDSClass::GetClassifierFiltresCount(unsigned int& count) {
    DS_CLASS_TRACE;
    return DomCall(
        trace, kException,
        [&] {
            DOMElement* classifier = Required(trace, "DS_CLASSIFIER", "No DS_CLASSIFIER found.");
            return classifier && xml::CountChildElements(classifier, count);
        },
        kNoDocument);
}

NX_RC CSDSClass::GetClassifierFilter(unsigned int index, SHString& srcFromIp, SHString& srcToIp,
                                     SHString& dstFromIp, SHString& dstToIp, SHString& protocol,
                                     SHString& destPort, SHString& dscp) {
    DS_CLASS_TRACE;
    return DomCall(
        trace, kException,
        [&] {
            DOMElement* classifier = Required(trace, "DS_CLASSIFIER", "No DS_CLASSIFIER found.");
            DOMElement* filter = nullptr;
            if (!classifier)
                return false;
            if (!xml::GetChildElementAt(classifier, index, filter)) {
                trace.Error("Invalid Filter Index");
                return false;
            }
            ReadAttributes(filter, {{"SRC_FROM_IP", &srcFromIp},
                                    {"SRC_TO_IP", &srcToIp},
                                    {"DST_FROM_IP", &dstFromIp},
                                    {"DST_TO_IP", &dstToIp},
                                    {"PROTOCOL", &protocol},
                                    {"DEST_PORT", &destPort},
                                    {"DSCP", &dscp}});
            return true;
        },
        kNoDocument);
}

NX_RC CSDSClass::GetShaper(SHString& avgRate, SHString& burst) {
    DS_CLASS_TRACE;
    return ReadRequired(trace, "DS_SHAPER", "DS_SHAPER not set",
                        {{"AVG_RATE", &avgRate}, {"BURST", &burst}});
}

NX_RC CSDSClass::GetPolicer(SHString& avgRate, SHString& burst) {
    DS_CLASS_TRACE;
    return ReadRequired(trace, "DS_POLICER", "DS_POLICER not set",
                        {{"AVG_RATE", &avgRate}, {"BURST", &burst}});
}

NX_RC CSDSClass::GetQueueingType(SHString& type) {
    DS_CLASS_TRACE;
    return DomCall(
        trace, kException,
        [&] {
            DOMElement* queueing = FindElement("DS_QUEUEING");
            DOMElement* first = nullptr;
            if (!xml::GetChildElementAt(queueing, 0, first)) {
                trace.Error("QUEUEING not set");
                return false;
            }
            type.Assign(xml::TagName(first).c_str());
            return true;
        },
        kNoDocument);
}

NX_RC CSDSClass::GetPriorityQueue(SHString& priority) {
    DS_CLASS_TRACE;
    return ReadRequired(trace, "DS_PRIORITY_QUEUE", "DS_PRIORITY_QUEUE not set",
                        {{"PRIORITY", &priority}});
}

NX_RC CSDSClass::GetCustomQueue(SHString& bandwidth, SHString& queueLimit) {
    DS_CLASS_TRACE;
    return ReadRequired(trace, "DS_CUSTOM_QUEUE", "DS_CUSTOM_QUEUE not set",
                        {{"BANDWIDTH", &bandwidth}, {"QUEUE_LIMIT", &queueLimit}});
}

NX_RC CSDSClass::GetCBWFQ(SHString& bandwidth, SHString& type) {
    DS_CLASS_TRACE;
    return DomCall(
        trace, kException,
        [&] {
            DOMElement* cbwfq = Required(trace, "DS_CBWFQ", "DS_CBWFQ not set");
            if (!cbwfq)
                return false;
            ReadAttributes(cbwfq, {{"BANDWIDTH", &bandwidth}});
            DOMElement* first = nullptr;
            if (!xml::GetChildElementAt(cbwfq, 0, first)) {
                trace.Error("Empty DS_CBWFQ !");
                return false;
            }
            type.Assign(xml::TagName(first).c_str());
            return true;
        },
        kNoDocument);
}

NX_RC CSDSClass::GetCBWFQPriority(SHString& qLimit) {
    DS_CLASS_TRACE;
    return DomCall(
        trace, kException,
        [&] {
            DOMElement* child =
                RequiredChild(trace, "DS_CBWFQ_PRIORITY", "DS_CBWFQ_PRIORITY not set", nullptr,
                              "Empty DS_CBWFQ_PRIORITY !");
            if (child)
                ReadAttributes(child, {{"Q_LIMIT", &qLimit}});
            return child != nullptr;
        },
        kNoDocument);
}

NX_RC CSDSClass::GetCBWFQCustomType(SHString& type) {
    DS_CLASS_TRACE;
    return DomCall(
        trace, kException,
        [&] {
            DOMElement* child = RequiredChild(trace, "DS_CBWFQ_CUSTOM", "DS_CBWFQ_CUSTOM not set",
                                              nullptr, "Empty DS_CBWFQ_CUSTOM !");
            if (child)
                type.Assign(xml::TagName(child).c_str());
            return child != nullptr;
        },
        kNoDocument);
}

NX_RC CSDSClass::GetCBWFQCustomDropTail(SHString& qLimit) {
    DS_CLASS_TRACE;
    return DomCall(
        trace, kException,
        [&] {
            DOMElement* child = RequiredChild(trace, "DS_CBWFQ_CUSTOM", "DS_CBWFQ_CUSTOM not set",
                                              "DS_CBWFQ_DROP_TAIL",
                                              "No DropTail element found in  DS_CBWFQ_CUSTOM ");
            if (child)
                ReadAttributes(child, {{"Q_LIMIT", &qLimit}});
            return child != nullptr;
        },
        kNoDocument);
}

NX_RC CSDSClass::GetCBWFQWCustomRed(SHString& minThreshold, SHString& maxThreshold) {
    DS_CLASS_TRACE;
    return DomCall(
        trace, kException,
        [&] {
            DOMElement* child =
                RequiredChild(trace, "DS_CBWFQ_CUSTOM", "DS_CBWFQ_CUSTOM not set", "DS_CBWFQ_RED",
                              "No RED element found in  DS_CBWFQ_CUSTOM ");
            if (child)
                ReadAttributes(
                    child, {{"MIN_THRESHOLD", &minThreshold}, {"MAX_THRESHOLD", &maxThreshold}});
            return child != nullptr;
        },
        kNoDocument);
}

NX_RC CSDSClass::GetCBWFQ_DEFAULT(SHString& useWfq) {
    DS_CLASS_TRACE;
    return ReadRequired(trace, "DS_CBWFQ_DEFAULT", "DS_CBWFQ_DEFAULT not set",
                        {{"USE_WFQ", &useWfq}});
}

NX_RC CSDSClass::GetCBWFQ_DEFAULTDropTail(SHString& qLimit) {
    DS_CLASS_TRACE;
    return DomCall(
        trace, kException,
        [&] {
            DOMElement* child = RequiredChild(trace, "DS_CBWFQ_DEFAULT", "DS_CBWFQ_DEFAULT not set",
                                              "DS_CBWFQ_DROP_TAIL",
                                              "No DropTail element found in  DS_CBWFQ_DEFAULT ");
            if (child)
                ReadAttributes(child, {{"Q_LIMIT", &qLimit}});
            return child != nullptr;
        },
        kNoDocument);
}
