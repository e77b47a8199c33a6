// The GATEWAY element: NICs with their in and out queues and queue policies, and the
// routing rules. Subclasses rename the gateway, NIC list and NIC elements through
// GetTagName and reuse every operation under their own names.
#pragma once

#include "Fendrel/STopovelBaseParser.h"

class CSGatewayParser : public CSTopovelBaseParser {
public:
    CSGatewayParser();
    CSGatewayParser(const char* dtdFileName, const char* version);
    CSGatewayParser(const CSGatewayParser& other);
    CSGatewayParser& operator=(const CSGatewayParser& other);
    ~CSGatewayParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;

    // NICs. A NIC is found by the first exact match of its ID; indexes count the NIC
    // elements of the document from 0.
    virtual NX_RC AddNic(const char* id, const char* name, const char* bandwidth,
                         const char* packetOverheadBytes, const char* inBwUtil,
                         const char* outBwUtil);
    virtual NX_RC SetNicID(const char* oldId, const char* newId);
    virtual NX_RC GetNicID(int index, SHString& id);
    virtual NX_RC GetNICsCount(unsigned int& count);
    virtual NX_RC GetNIC(int index, SHString& id, SHString& name, SHString& bandwidth,
                         SHString& packetOverheadBytes, SHString& inBwUtil, SHString& outBwUtil);
    virtual NX_RC RemoveNIC(const char* id);

    // Queues of a NIC: `in` selects IN_QUEUE, otherwise OUT_QUEUE.
    virtual NX_RC SetInOutQueue(const char* nicId, const char* memorySize, const char* memoryMode,
                                bool in);
    virtual NX_RC GetInOutQueue(const char* nicId, SHString& memorySize, SHString& memoryMode,
                                bool in);
    virtual NX_RC RemoveQueue(const char* nicId, bool in);
    virtual NX_RC SetQueuePolicyDropTail(const char* nicId, bool in);
    virtual NX_RC SetQueuePolicyRED(const char* nicId, bool in, const char* minThreshold,
                                    const char* maxThreshold);
    // The policy's tag; the thresholds only for Q_POLICY_RED (left as they are otherwise).
    virtual NX_RC GetQueuePolicy(const char* nicId, bool in, SHString& policy,
                                 SHString& minThreshold, SHString& maxThreshold);

    // Routing rules.
    virtual NX_RC SetRoutingRules(const char* goingToDest, const char* goThroughElement);
    virtual NX_RC GetRoutRulesCount(unsigned int& count);
    virtual NX_RC GetRoutingRules(int index, SHString& goingToDest, SHString& goThroughElement);
    virtual NX_RC RemoveRoutingRules();

protected:
    // The element name to use for "GATEWAY", "NICS" and "NIC"; null for any other text.
    virtual const char* GetTagName(const char* tag);

    // Helpers of the NIC and queue operations (null when not found).
    DOMElement* NicList();
    DOMElement* NicById(const DOMElement* from, const char* id);
    static const char* QueueTag(bool in) { return in ? "IN_QUEUE" : "OUT_QUEUE"; }
    static DOMElement* Queue(const DOMElement* nic, bool in);

private:
    // Runs `body(nic)` (returning bool) on the NIC with that ID below NICS (`inList`) or
    // below the root, in the shape of DomCall; 1 without a trace when there is none.
    template <class Body>
    NX_RC OnNic(const fendrel::MethodTrace& trace, const char* failure, bool inList,
                const char* nicId, Body&& body) {
        return DomCall(
            trace, failure,
            [&] {
                DOMElement* nic = NicById(inList ? NicList() : Root(), nicId);
                return nic != nullptr && body(nic);
            },
            "No Document created.");
    }
    // The NIC at `index`; a negative or too large index traces `failure`.
    DOMElement* NicAt(const fendrel::MethodTrace& trace, int index, const char* failure);
    // Replaces the policy of an existing queue by a new element.
    NX_RC SetQueuePolicy(const fendrel::MethodTrace& trace, const char* nicId, bool in,
                         const char* policyTag, std::initializer_list<AttrIn> attributes);
};
