// The DiffServ gateway (DS_GATEWAY): a gateway whose NICs carry traffic control blocks
// instead of plain queues; the traffic control block (DS_TRAFFIC_CONTROL_BLOCK) with
// its traffic classes; and one traffic class (DS_CLASS or DS_DEFAULT_CLASS).
#pragma once

#include "Fendrel/SGatewayParser.h"

#include <utility>

// An element inside a parser's document together with a share of that document: the
// element stays valid while this object lives, even after every parser that held the
// document is gone or holds another one. A block replaced by AddTrafficControlBlock
// or removed with its NIC (RemoveNIC) stays readable.
class CSDomElementRef {
public:
    CSDomElementRef() = default;
    CSDomElementRef(orvane::xml::XmlDocument document, xercesc::DOMElement* element)
        : m_pDocument(std::move(document)), m_pElement(element) {}

    xercesc::DOMElement* Get() const { return m_pElement; }
    bool IsNULL() const { return m_pElement == nullptr; }
    void Reset() { *this = CSDomElementRef(); }

private:
    orvane::xml::XmlDocument m_pDocument;
    xercesc::DOMElement* m_pElement = nullptr;
};

class CSDSClass;

class CSDSGatewayParser : public CSGatewayParser {
public:
    CSDSGatewayParser();
    CSDSGatewayParser(const char* dtdFileName, const char* version);
    CSDSGatewayParser(const CSDSGatewayParser& other) = default;
    CSDSGatewayParser& operator=(const CSDSGatewayParser& other) = default;
    ~CSDSGatewayParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;

    // A DiffServ NIC has no plain queues: these always fail.
    NX_RC SetInOutQueue(const char* nicId, const char* memorySize, const char* memoryMode,
                        bool in) override;
    NX_RC GetInOutQueue(const char* nicId, SHString& memorySize, SHString& memoryMode,
                        bool in) override;
    NX_RC RemoveQueue(const char* nicId, bool in) override;
    NX_RC SetQueuePolicyDropTail(const char* nicId, bool in) override;
    NX_RC SetQueuePolicyRED(const char* nicId, bool in, const char* minThreshold,
                            const char* maxThreshold) override;
    NX_RC GetQueuePolicy(const char* nicId, bool in, SHString& policy, SHString& minThreshold,
                         SHString& maxThreshold) override;

    // Places the block's text (a DS_TRAFFIC_CONTROL_BLOCK) in the NIC, replacing the
    // block it holds. The NIC is the element child of DS_NICS at `nicIndex`, or the
    // DS_NIC whose ID is `nicId`.
    virtual NX_RC AddTrafficControlBlock(unsigned int nicIndex, const char* xml);
    virtual NX_RC AddTrafficControlBlock(const char* nicId, const char* xml);
    // The block of the DS_NIC at `nicIndex`, inside this gateway's document (no copy).
    NX_RC GetTrafficControlBlock(unsigned int nicIndex, CSDomElementRef& block);

protected:
    const char* GetTagName(const char* tag) override;

private:
    bool PlaceTrafficControlBlock(DOMElement* nic, const char* xml);
};

class CSDSTrafficControlBlock : public CSTopovelBaseParser {
public:
    CSDSTrafficControlBlock();
    CSDSTrafficControlBlock(const char* dtdFileName, const char* version);
    CSDSTrafficControlBlock(const CSDSTrafficControlBlock& other) = default;
    CSDSTrafficControlBlock& operator=(const CSDSTrafficControlBlock& other) = default;
    ~CSDSTrafficControlBlock() override;

    // Does nothing and fails: a block is created with its queueing system.
    NX_RC CreateNew(const char* id, const char* name) override;
    virtual NX_RC CreateNew(const char* id, const char* name, const char* queuingSystem);

    NX_RC GetQueueingModel(SHString& model);
    NX_RC GetClassCount(unsigned int& count);
    // Parses the class at `index` into `cls`; 1 when the index is out of range or the
    // class text does not parse.
    NX_RC GetClass(unsigned int index, CSDSClass& cls);
};

class CSDSClass : public CSTopovelBaseParser {
public:
    CSDSClass();
    CSDSClass(const char* dtdFileName, const char* version);
    CSDSClass(const CSDSClass& other) = default;
    CSDSClass& operator=(const CSDSClass& other) = default;
    ~CSDSClass() override;

    // Does nothing and fails: a class is created with its kind and DSCP.
    NX_RC CreateNew(const char* id, const char* name) override;
    virtual NX_RC CreateNew(bool isDefault, const char* name, const char* dscp);

    NX_RC IsDefaultClass(bool& isDefault);
    NX_RC GetDSCP(SHString& dscp);
    NX_RC GetClassifierFiltresCount(unsigned int& count);
    NX_RC GetClassifierFilter(unsigned int index, SHString& srcFromIp, SHString& srcToIp,
                              SHString& dstFromIp, SHString& dstToIp, SHString& protocol,
                              SHString& destPort, SHString& dscp);
    NX_RC GetShaper(SHString& avgRate, SHString& burst);
    NX_RC GetPolicer(SHString& avgRate, SHString& burst);
    NX_RC GetQueueingType(SHString& type);
    NX_RC GetPriorityQueue(SHString& priority);
    NX_RC GetCustomQueue(SHString& bandwidth, SHString& queueLimit);
    NX_RC GetCBWFQ(SHString& bandwidth, SHString& type);
    NX_RC GetCBWFQPriority(SHString& qLimit);
    NX_RC GetCBWFQCustomType(SHString& type);
    NX_RC GetCBWFQCustomDropTail(SHString& qLimit);
    NX_RC GetCBWFQWCustomRed(SHString& minThreshold, SHString& maxThreshold);
    NX_RC GetCBWFQ_DEFAULT(SHString& useWfq);
    NX_RC GetCBWFQ_DEFAULTDropTail(SHString& qLimit);

private:
    // The first element of that tag; traces `missing` when there is none.
    DOMElement* Required(const fendrel::MethodTrace& trace, const char* tag, const char* missing);
    // Reads the attributes of the element of that tag.
    NX_RC ReadRequired(const fendrel::MethodTrace& trace, const char* tag, const char* missing,
                       std::initializer_list<AttrOut> attributes);
    // The first element child of the element of that tag (the first element of
    // `childTag` below it when given); traces `missing` or `empty`.
    DOMElement* RequiredChild(const fendrel::MethodTrace& trace, const char* tag,
                              const char* missing, const char* childTag, const char* empty);
};
