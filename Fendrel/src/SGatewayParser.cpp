#include "Fendrel/SGatewayParser.h"

#include <cstring>

using fendrel::MethodTrace;
namespace xml = orvane::xml;

namespace {

const char kClass[] = "CSGatewayParser";
const char kFile[] = "SGatewayParser";
const char kNoDocument[] = "No Document created.";

} // namespace

#define GATEWAY_TRACE MethodTrace trace(kClass, __func__, kFile)
#define GATEWAY_TRACE_QUIET MethodTrace trace(kClass, __func__, kFile, false)

CSGatewayParser::CSGatewayParser() = default;

CSGatewayParser::CSGatewayParser(const char* dtdFileName, const char* version) {
    SetTopovelVersion(dtdFileName, version);
}

CSGatewayParser::CSGatewayParser(const CSGatewayParser& other) = default;

CSGatewayParser& CSGatewayParser::operator=(const CSGatewayParser& other) = default;

CSGatewayParser::~CSGatewayParser() = default;

const char* CSGatewayParser::GetTagName(const char* tag) {
    if (!tag)
        return nullptr;
    for (const char* known : {"GATEWAY", "NICS", "NIC"})
        if (std::strcmp(tag, known) == 0)
            return known;
    return nullptr;
}

xercesc::DOMElement* CSGatewayParser::NicList() {
    return FindElement(GetTagName("NICS"));
}

xercesc::DOMElement* CSGatewayParser::NicById(const DOMElement* from, const char* id) {
    DOMElement* nic = nullptr;
    const char* tag = GetTagName("NIC");
    if (!from || !tag || !xml::FindElementByAttribute(from, tag, "ID", id, nic))
        return nullptr;
    return nic;
}

xercesc::DOMElement* CSGatewayParser::Queue(const DOMElement* nic, bool in) {
    DOMElement* queue = nullptr;
    return xml::GetChildElementByTag(QueueTag(in), nic, queue) ? queue : nullptr;
}

xercesc::DOMElement* CSGatewayParser::NicAt(const MethodTrace& trace, int index,
                                            const char* failure) {
    const char* tag = GetTagName("NIC");
    unsigned count = CountElements(tag);
    if (count == 0)
        return nullptr;
    if (index < 0 || static_cast<unsigned>(index) >= count) {
        trace.Error(failure);
        return nullptr;
    }
    return FindElementAt(tag, static_cast<unsigned>(index));
}

NX_RC CSGatewayParser::CreateNew(const char* id, const char* name) {
    GATEWAY_TRACE;
    return CreateNewElement(trace, GetTagName("GATEWAY"), id, name,
                            "Fail to create GATEWAY object");
}

// ---------------------------------------------------------------- NICs

NX_RC CSGatewayParser::AddNic(const char* id, const char* name, const char* bandwidth,
                              const char* packetOverheadBytes, const char* inBwUtil,
                              const char* outBwUtil) {
    GATEWAY_TRACE;
    if (m_pDocument && !Given({id, name, bandwidth, packetOverheadBytes, inBwUtil, outBwUtil}))
        return NX_FAILURE;
    return DomCall(
        trace, "Failed to create or append NIC element",
        [&] {
            DOMElement* nic =
                NewElement(GetTagName("NIC"), {{"ID", id},
                                               {"NAME", name},
                                               {"BANDWIDTH", bandwidth},
                                               {"PACKET_OVERHEAD_BYTES", packetOverheadBytes},
                                               {"IN_BW_UTIL", inBwUtil},
                                               {"OUT_BW_UTIL", outBwUtil}});
            DOMElement* nics = NicList();
            if (!nics) {
                // The NIC list always stands before the routing rules.
                nics = NewElement(GetTagName("NICS"));
                DOMElement* root = Root();
                DOMElement* rules = nullptr;
                if (xml::GetChildElementByTag("ROUTING_RULES", root, rules))
                    root->insertBefore(nics, rules);
                else
                    root->appendChild(nics);
            }
            nics->appendChild(nic);
            return NX_SUCCESS;
        },
        kNoDocument);
}

NX_RC CSGatewayParser::GetNIC(int index, SHString& id, SHString& name, SHString& bandwidth,
                              SHString& packetOverheadBytes, SHString& inBwUtil,
                              SHString& outBwUtil) {
    GATEWAY_TRACE_QUIET;
    return DomCall(
        trace, "Failed to get NIC",
        [&] {
            DOMElement* nic = NicAt(trace, index, "Failed to get NIC");
            if (nic)
                ReadAttributes(nic, {{"ID", &id},
                                     {"NAME", &name},
                                     {"BANDWIDTH", &bandwidth},
                                     {"PACKET_OVERHEAD_BYTES", &packetOverheadBytes},
                                     {"IN_BW_UTIL", &inBwUtil},
                                     {"OUT_BW_UTIL", &outBwUtil}});
            return nic != nullptr;
        },
        nullptr);
}

NX_RC CSGatewayParser::GetNicID(int index, SHString& id) {
    GATEWAY_TRACE_QUIET;
    return DomCall(
        trace, "Failed to get NIC ID",
        [&] {
            DOMElement* nic = NicAt(trace, index, "Failed to get NIC ID");
            if (nic)
                ReadAttributes(nic, {{"ID", &id}});
            return nic != nullptr;
        },
        nullptr);
}

NX_RC CSGatewayParser::SetNicID(const char* oldId, const char* newId) {
    GATEWAY_TRACE;
    if (!Given({oldId, newId}))
        return NX_FAILURE;
    return OnNic(trace, "Failed to Set Nic ID", true, oldId, [&](DOMElement* nic) {
        WriteAttributes(nic, {{"ID", newId}});
        return true;
    });
}

NX_RC CSGatewayParser::GetNICsCount(unsigned int& count) {
    GATEWAY_TRACE;
    return DomCall(
        trace, "Failed to Get NIC counter",
        [&] { return xml::CountChildElements(NicList(), count); }, kNoDocument);
}

NX_RC CSGatewayParser::RemoveNIC(const char* id) {
    GATEWAY_TRACE;
    if (m_pDocument && !id)
        return NX_FAILURE;
    return DomCall(
        trace, "Failed to remove NIC",
        [&] {
            // Detached, not released: its memory goes with the document, so an element
            // of it handed out with a share of the document (a DiffServ block) stays
            // valid instead of being recycled for the next element created.
            if (DOMElement* nic = NicById(Root(), id))
                nic->getParentNode()->removeChild(nic);
            return NX_SUCCESS;
        },
        kNoDocument);
}

// ---------------------------------------------------------------- queues

NX_RC CSGatewayParser::SetInOutQueue(const char* nicId, const char* memorySize,
                                     const char* memoryMode, bool in) {
    GATEWAY_TRACE;
    if (m_pDocument && !Given({nicId, memorySize, memoryMode}))
        return NX_FAILURE;
    return OnNic(trace, "Failed to Set In/Out Queue", true, nicId, [&](DOMElement* nic) {
        DOMElement* queue = Queue(nic, in);
        if (!queue) {
            // An out queue goes first, an in queue last.
            queue = NewElement(QueueTag(in));
            if (!in && nic->getFirstChild())
                nic->insertBefore(queue, nic->getFirstChild());
            else
                nic->appendChild(queue);
        }
        WriteAttributes(queue, {{"Q_MEMORY_SIZE", memorySize}, {"Q_MEMORY_MODE", memoryMode}});
        return true;
    });
}

NX_RC CSGatewayParser::GetInOutQueue(const char* nicId, SHString& memorySize, SHString& memoryMode,
                                     bool in) {
    GATEWAY_TRACE;
    if (m_pDocument && !nicId)
        return NX_FAILURE;
    return OnNic(trace, "Failed to get In/Out Queue", false, nicId, [&](DOMElement* nic) {
        DOMElement* queue = Queue(nic, in);
        if (queue)
            ReadAttributes(queue, {{"Q_MEMORY_SIZE", &memorySize}, {"Q_MEMORY_MODE", &memoryMode}});
        return queue != nullptr;
    });
}

NX_RC CSGatewayParser::RemoveQueue(const char* nicId, bool in) {
    GATEWAY_TRACE;
    if (m_pDocument && !nicId)
        return NX_FAILURE;
    return OnNic(trace, "Failed to remove queue", false, nicId, [&](DOMElement* nic) {
        DOMElement* queue = Queue(nic, in);
        RemoveElement(queue);
        return queue != nullptr;
    });
}

NX_RC CSGatewayParser::SetQueuePolicy(const MethodTrace& trace, const char* nicId, bool in,
                                      const char* policyTag,
                                      std::initializer_list<AttrIn> attributes) {
    const char* failure = "Failed to Set Queue Polisy";
    return OnNic(trace, failure, true, nicId, [&](DOMElement* nic) {
        DOMElement* queue = Queue(nic, in);
        if (!queue) {
            trace.Error(failure);
            return false;
        }
        // The old policy is the queue's element child; whitespace of an indented
        // document stays where it is.
        DOMElement* policy = NewElement(policyTag, attributes);
        for (DOMElement* old = nullptr; xml::GetChildElementAt(queue, 0, old); old = nullptr)
            RemoveElement(old);
        queue->appendChild(policy);
        return true;
    });
}

NX_RC CSGatewayParser::SetQueuePolicyDropTail(const char* nicId, bool in) {
    GATEWAY_TRACE;
    if (m_pDocument && !nicId)
        return NX_FAILURE;
    return SetQueuePolicy(trace, nicId, in, "Q_POLICY_DROP_TAIL", {});
}

NX_RC CSGatewayParser::SetQueuePolicyRED(const char* nicId, bool in, const char* minThreshold,
                                         const char* maxThreshold) {
    GATEWAY_TRACE;
    if (m_pDocument && !Given({nicId, minThreshold, maxThreshold}))
        return NX_FAILURE;
    return SetQueuePolicy(trace, nicId, in, "Q_POLICY_RED",
                          {{"MIN_THRESHOLD", minThreshold}, {"MAX_THRESHOLD", maxThreshold}});
}

NX_RC CSGatewayParser::GetQueuePolicy(const char* nicId, bool in, SHString& policy,
                                      SHString& minThreshold, SHString& maxThreshold) {
    GATEWAY_TRACE;
    if (m_pDocument && !nicId)
        return NX_FAILURE;
    return OnNic(trace, "Failed to get Queue Policy", false, nicId, [&](DOMElement* nic) {
        xercesc::DOMNodeList* queues = nic->getElementsByTagName(xml::ToX(QueueTag(in)).c_str());
        for (XMLSize_t i = 0; queues && i < queues->getLength(); ++i) {
            if (!queues->item(i)->hasChildNodes())
                return false;
            DOMElement* first = nullptr;
            if (!xml::GetChildElementAt(queues->item(i), 0, first))
                continue;
            std::string tag = xml::TagName(first);
            if (tag == "Q_POLICY_RED")
                ReadAttributes(
                    first, {{"MIN_THRESHOLD", &minThreshold}, {"MAX_THRESHOLD", &maxThreshold}});
            policy.Assign(tag.c_str());
            return true;
        }
        return false;
    });
}

// ---------------------------------------------------------------- routing rules

NX_RC CSGatewayParser::SetRoutingRules(const char* goingToDest, const char* goThroughElement) {
    GATEWAY_TRACE_QUIET;
    if (m_pDocument && !Given({goingToDest, goThroughElement}))
        return NX_FAILURE;
    return DomCall(
        trace, "Failed to Set Routing rules",
        [&] {
            DOMElement* rules = nullptr;
            if (!xml::GetOrCreateElement(Doc(), rules, "ROUTING_RULES", {}, true))
                return false;
            AppendElement(
                rules, "ROUTE",
                {{"GOING_TO_DEST", goingToDest}, {"GO_THROUGH_ELEMENT", goThroughElement}});
            return true;
        },
        kNoDocument);
}

NX_RC CSGatewayParser::GetRoutRulesCount(unsigned int& count) {
    GATEWAY_TRACE;
    return DomCall(
        trace, "Failed to Get Routs counter",
        [&] { return xml::CountChildElements(FindElement("ROUTING_RULES"), count); }, kNoDocument);
}

NX_RC CSGatewayParser::GetRoutingRules(int index, SHString& goingToDest,
                                       SHString& goThroughElement) {
    GATEWAY_TRACE;
    return DomCall(
        trace, "Failed to Get Routing rules",
        [&] {
            DOMElement* route = nullptr;
            if (index < 0 || !xml::GetChildElementAt(FindElement("ROUTING_RULES"),
                                                     static_cast<unsigned>(index), route))
                return false;
            ReadAttributes(route, {{"GOING_TO_DEST", &goingToDest},
                                   {"GO_THROUGH_ELEMENT", &goThroughElement}});
            return true;
        },
        kNoDocument);
}

NX_RC CSGatewayParser::RemoveRoutingRules() {
    GATEWAY_TRACE;
    return DomCall(
        trace, "Failed to Remove Routing rules",
        [&] {
            RemoveRootChild("ROUTING_RULES");
            return NX_SUCCESS;
        },
        kNoDocument);
}
