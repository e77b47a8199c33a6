#include "Fendrel/StatElementParsers.h"

using fendrel::MethodTrace;

namespace {

const char kClass[] = "CSGatewayStatParser";
const char kFile[] = "SGatewayStatParser";

} // namespace

#define GW_STAT_TRACE NX_METHOD_TRACE(kClass, kFile)

CSGatewayStatParser::CSGatewayStatParser() = default;

CSGatewayStatParser::CSGatewayStatParser(const char* dtdFileName, const char* version) {
    SetTopovelVersion(dtdFileName, version);
}

CSGatewayStatParser::~CSGatewayStatParser() = default;

NX_RC CSGatewayStatParser::CreateNew(const char* id, const char* name) {
    GW_STAT_TRACE;
    return CreateNewElement(trace, "GATEWAY_STAT", id, name, "Fail to create GATEWAY_STAT object");
}

NX_RC CSGatewayStatParser::GetNICsCount(unsigned int& count) {
    GW_STAT_TRACE;
    if (!m_pDocument)
        count = 0;
    return DomCall(
        trace, "Failed to Get NIC counter",
        [&] {
            count = static_cast<unsigned int>(
                Root()->getElementsByTagName(orvane::xml::ToX("NIC_STAT").c_str())->getLength());
            return NX_SUCCESS;
        },
        "No Document created.");
}

NX_RC CSGatewayStatParser::GetNicAttributeByIndex(int index, const char* attribute,
                                                  SHString& value) {
    MethodTrace trace(kClass, "GetNicAttributeByIndex", kFile, false);
    return DomCall(
        trace, "Unknown exception.",
        [&] {
            xercesc::DOMNodeList* nics =
                Root()->getElementsByTagName(orvane::xml::ToX("NIC_STAT").c_str());
            if (index < 0 || static_cast<XMLSize_t>(index) >= nics->getLength())
                return false;
            value.Assign(
                orvane::xml::GetAttr(static_cast<DOMElement*>(nics->item(index)), attribute)
                    .c_str());
            return true;
        },
        nullptr);
}

NX_RC CSGatewayStatParser::GetNicPair(int index, const char* first, SHString& firstValue,
                                      const char* second, SHString& secondValue) {
    NX_RC rc = GetNicAttributeByIndex(index, first, firstValue);
    return rc == NX_SUCCESS ? GetNicAttributeByIndex(index, second, secondValue) : rc;
}

NX_RC CSGatewayStatParser::GetNICStatIdName(int index, SHString& id, SHString& name) {
    GW_STAT_TRACE;
    return GetNicPair(index, "ID", id, "NAME", name);
}

NX_RC CSGatewayStatParser::GetNICStatThroughput(int index, SHString& bpsIn, SHString& bpsOut) {
    GW_STAT_TRACE;
    return GetNicPair(index, "BPS_IN", bpsIn, "BPS_OUT", bpsOut);
}

NX_RC CSGatewayStatParser::GetNICStatThroughputTotal(int index, SHString& totalIn,
                                                     SHString& totalOut) {
    GW_STAT_TRACE;
    return GetNicPair(index, "TOTAL_IN", totalIn, "TOTAL_OUT", totalOut);
}

NX_RC CSGatewayStatParser::GetNICStatBW(int index, SHString& bwUtilIn, SHString& bwUtilOut) {
    GW_STAT_TRACE;
    return GetNicPair(index, "BW_UTIL_IN", bwUtilIn, "BW_UTIL_OUT", bwUtilOut);
}

NX_RC CSGatewayStatParser::GetNICStatQLen(int index, SHString& qLenIn, SHString& qLenOut) {
    GW_STAT_TRACE;
    return GetNicPair(index, "Q_LEN_IN", qLenIn, "Q_LEN_OUT", qLenOut);
}

NX_RC CSGatewayStatParser::GetNICStatQLoss(int index, SHString& qLossCountIn,
                                           SHString& qLossCountOut) {
    GW_STAT_TRACE;
    return GetNicPair(index, "Q_LOSS_COUNT_IN", qLossCountIn, "Q_LOSS_COUNT_OUT", qLossCountOut);
}
