#include "Fendrel/SIpRangeParser.h"

using fendrel::MethodTrace;
namespace xml = orvane::xml;

namespace {

const char kClass[] = "CSIpRangeParser";
const char kFile[] = "SIpRangeParser";
const char kInclude[] = "INCLUDE_IPS";
const char kExclude[] = "EXCLUDE_IPS";
const char kIncludeFailure[] = "Failed to get IncludeIP range";
const char kExcludeFailure[] = "Failed to get Exclude range";

unsigned short to_ushort(const std::string& text) {
    return static_cast<unsigned short>(xml::TextToInt(text.c_str()));
}

} // namespace

CSIpRangeParser::CSIpRangeParser() = default;

CSIpRangeParser::CSIpRangeParser(const CSIpRangeParser& other) = default;

CSIpRangeParser& CSIpRangeParser::operator=(const CSIpRangeParser& other) = default;

CSIpRangeParser::~CSIpRangeParser() = default;

NX_RC CSIpRangeParser::RangeCount(const char* method, const char* list, unsigned& count) {
    MethodTrace trace(kClass, method, kFile);
    count = 0;
    return DomCall(trace, "Failed to count IP ranges", [&] {
        DOMElement* ranges = FindElement(list);
        return !ranges || xml::CountChildElements(ranges, count);
    });
}

NX_RC CSIpRangeParser::AddRange(const char* method, const char* list, const char* from,
                                const char* to, unsigned short protocol, unsigned short port) {
    MethodTrace trace(kClass, method, kFile);
    if (m_pDocument && !Given({from, to}))
        return NX_FAILURE;
    return DomCall(trace, "Failed to add IP range", [&] {
        DOMElement* range = NewElement("IP_RANGE", {{"FROM_IP", from},
                                                    {"TO_IP", to},
                                                    {"PROTOCOL", xml::IntToText(protocol).c_str()},
                                                    {"PORT", xml::IntToText(port).c_str()}});
        DOMElement* ranges = FindElement(list);
        if (!ranges)
            ranges = AppendElement(Root(), list);
        ranges->appendChild(range);
        return NX_SUCCESS;
    });
}

NX_RC CSIpRangeParser::GetRange(const char* method, const char* list, const char* failure,
                                unsigned index, SHString& from, SHString& to,
                                unsigned short& protocol, unsigned short& port) {
    MethodTrace trace(kClass, method, kFile);
    return DomCall(
        trace, failure,
        [&] {
            DOMElement* ranges = FindElement(list);
            if (!ranges)
                return true;
            DOMElement* range = nullptr;
            if (!xml::GetChildElementAt(ranges, index, range))
                return false;
            std::string protocolText = xml::GetAttr(range, "PROTOCOL");
            std::string portText = xml::GetAttr(range, "PORT");
            ReadAttributes(range, {{"FROM_IP", &from}, {"TO_IP", &to}});
            protocol = to_ushort(protocolText);
            port = to_ushort(portText);
            return true;
        },
        nullptr);
}

NX_RC CSIpRangeParser::SetRange(const char* method, const char* list, const char* failure,
                                unsigned index, const char* from, const char* to,
                                unsigned short protocol, unsigned short port) {
    MethodTrace trace(kClass, method, kFile);
    if (!Given({from, to}))
        return NX_FAILURE;
    return DomCall(
        trace, failure,
        [&] {
            // Without a list there is no range at any index: nothing is written.
            DOMElement* range = nullptr;
            if (!xml::GetChildElementAt(FindElement(list), index, range))
                return false;
            WriteAttributes(range, {{"FROM_IP", from},
                                    {"TO_IP", to},
                                    {"PROTOCOL", xml::IntToText(protocol).c_str()},
                                    {"PORT", xml::IntToText(port).c_str()}});
            return true;
        },
        nullptr);
}

NX_RC CSIpRangeParser::RemoveRange(const char* method, const char* list, unsigned index) {
    MethodTrace trace(kClass, method, kFile);
    return DomCall(
        trace, "Failed to remove IP range",
        [&] {
            DOMElement* range = nullptr;
            if (xml::GetChildElementAt(FindElement(list), index, range))
                RemoveElement(range);
            return NX_SUCCESS;
        },
        nullptr);
}

NX_RC CSIpRangeParser::GetIncludeIPRangeCount(unsigned& count) {
    return RangeCount("GetIncludeIPRangeCount", kInclude, count);
}

NX_RC CSIpRangeParser::GetExcludeIPRangeCount(unsigned& count) {
    return RangeCount("GetExcludeIPRangeCount", kExclude, count);
}

NX_RC CSIpRangeParser::AddIncludeIPRange(const char* from, const char* to, unsigned short protocol,
                                         unsigned short port) {
    return AddRange("AddIncludeIPRange", kInclude, from, to, protocol, port);
}

NX_RC CSIpRangeParser::AddExcludeIPRange(const char* from, const char* to, unsigned short protocol,
                                         unsigned short port) {
    return AddRange("AddExcludeIPRange", kExclude, from, to, protocol, port);
}

NX_RC CSIpRangeParser::GetIncludeIPRange(unsigned index, SHString& from, SHString& to,
                                         unsigned short& protocol, unsigned short& port) {
    return GetRange("GetIncludeIPRange", kInclude, kIncludeFailure, index, from, to, protocol,
                    port);
}

NX_RC CSIpRangeParser::GetExcludeIPRange(unsigned index, SHString& from, SHString& to,
                                         unsigned short& protocol, unsigned short& port) {
    return GetRange("GetExcludeIPRange", kExclude, kExcludeFailure, index, from, to, protocol,
                    port);
}

NX_RC CSIpRangeParser::SetIncludeIPRange(unsigned index, const char* from, const char* to,
                                         unsigned short protocol, unsigned short port) {
    return SetRange("SetIncludeIPRange", kInclude, kIncludeFailure, index, from, to, protocol,
                    port);
}

NX_RC CSIpRangeParser::SetExcludeIPRange(unsigned index, const char* from, const char* to,
                                         unsigned short protocol, unsigned short port) {
    return SetRange("SetExcludeIPRange", kExclude, kExcludeFailure, index, from, to, protocol,
                    port);
}

NX_RC CSIpRangeParser::RemoveIncludeIPRange(unsigned index) {
    return RemoveRange("RemoveIncludeIPRange", kInclude, index);
}

NX_RC CSIpRangeParser::RemoveExcludeIPRange(unsigned index) {
    NX_RC rc = RemoveRange("RemoveExcludeIPRange", kExclude, index);
    return rc != NX_SUCCESS ? rc : RemoveExcludeIPs();
}

NX_RC CSIpRangeParser::RemoveExcludeIPs() {
    MethodTrace trace(kClass, "RemoveExcludeIPs", kFile);
    return DomCall(
        trace, "Failed to remove IP range",
        [&] {
            DOMElement* ranges = FindElement(kExclude);
            if (ranges && !ranges->hasChildNodes())
                RemoveElement(ranges);
            return NX_SUCCESS;
        },
        nullptr);
}
