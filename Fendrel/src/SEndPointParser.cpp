#include "Fendrel/SEndPointParser.h"

using fendrel::MethodTrace;

namespace {

const char kClass[] = "CSEndPointParser";
const char kFile[] = "SEndPointParser";

} // namespace

#define ENDPOINT_TRACE MethodTrace trace(kClass, __func__, kFile)

CSEndPointParser::CSEndPointParser() = default;

CSEndPointParser::CSEndPointParser(const char* dtdFileName, const char* version) {
    SetTopovelVersion(dtdFileName, version);
}

CSEndPointParser::CSEndPointParser(const CSEndPointParser& other) = default;

CSEndPointParser& CSEndPointParser::operator=(const CSEndPointParser& other) = default;

CSEndPointParser::~CSEndPointParser() = default;

NX_RC CSEndPointParser::CreateNew(const char* id, const char* name) {
    ENDPOINT_TRACE;
    return CreateNewElement(trace, "ENDPOINT", id, name, "Fail to create ENDPOINT object");
}

NX_RC CSEndPointParser::AddHostID(const char* nameOrIp) {
    ENDPOINT_TRACE;
    if (m_pDocument && !nameOrIp)
        return NX_FAILURE;
    return DomCall(trace, "Failed to add Host ID", [&] {
        DOMElement* host = NewElement("HOST_ID", {{"NAME_OR_IP", nameOrIp}});
        DOMElement* root = Root();
        // Before INCLUDE_IPS (insertBefore with null appends).
        root->insertBefore(host, FindElement("INCLUDE_IPS"));
        return NX_SUCCESS;
    });
}

NX_RC CSEndPointParser::GetHostIDCount(unsigned& count) {
    ENDPOINT_TRACE;
    return DomCall(
        trace, "Failed to get Host ID count",
        [&] {
            count = CountElements("HOST_ID");
            return NX_SUCCESS;
        },
        nullptr);
}

NX_RC CSEndPointParser::GetHostID(unsigned index, SHString& nameOrIp) {
    ENDPOINT_TRACE;
    return DomCall(
        trace, "Failed to get Host ID",
        [&] {
            if (DOMElement* host = FindElementAt("HOST_ID", index))
                ReadAttributes(host, {{"NAME_OR_IP", &nameOrIp}});
            return NX_SUCCESS;
        },
        nullptr);
}

NX_RC CSEndPointParser::ClearHostID(unsigned index) {
    ENDPOINT_TRACE;
    return DomCall(
        trace, "Failed to clear Host ID",
        [&] {
            if (DOMElement* host = FindElementAt("HOST_ID", index))
                RemoveChildOf(Root(), host);
            return NX_SUCCESS;
        },
        nullptr);
}
