#include "AltirenUi/SMemoryConfigParams.h"

#include "AltirenClient/ClientTrace.h"
#include "AltirenClient/StringFormat.h"
#include "AltirenClient/StringTable.h"

#include <OrvaneXercesUtils/OrvaneXercesUtils.h>

#include <xercesc/util/PlatformUtils.hpp>

#include <cerrno>
#include <cstdlib>

namespace {

constexpr const char* kClass = "CSMemoryConfigParams";

// A whole decimal number (optionally signed, blanks around it) within a long.
bool ReadWholeNumber(const std::string& text, long& value) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE)
        return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    if (*end != '\0')
        return false;
    value = number;
    return true;
}

bool ReadLimits(const orvane::xml::DOMDocument* document, const char* tag, long& min, long& max) {
    using namespace orvane::xml;
    DOMElement* element = nullptr;
    if (!GetFirstElementByTag(tag, document, element) || !element)
        return false;
    return HasAttr(element, "MIN") && HasAttr(element, "MAX") &&
           ReadWholeNumber(GetAttr(element, "MIN"), min) &&
           ReadWholeNumber(GetAttr(element, "MAX"), max);
}

// Characters of a UTF-8 text (the bytes that do not continue a character).
long long CharacterCount(const std::string& text) {
    long long count = 0;
    for (unsigned char c : text)
        count += (c & 0xC0) != 0x80;
    return count;
}

} // namespace

CSMemoryConfigParams* CSMemoryConfigParams::instance() {
    static CSMemoryConfigParams* const single = new CSMemoryConfigParams();
    return single;
}

bool CSMemoryConfigParams::GetConfigurableParametersFromServer(const AccountServerFactory& server,
                                                               std::string& reply) {
    CLIENT_TRACE_ENTERED(kClass);
    std::unique_ptr<IAccountServer> proxy = server ? server() : nullptr;
    if (!proxy || !proxy->Send(GET_CONFIGURABLE_PARAM, reply)) {
        CLIENT_TRACE(CSTrace::eError, "Failed to get configurable parameters response", kClass);
        return false;
    }
    return true;
}

bool CSMemoryConfigParams::ParseConfigurableParams(const std::string& reply, Limits& limits) {
    using namespace orvane::xml;
    // The parser library is set up by the client's start-up.
    if (!xercesc::XMLPlatformUtils::fgMemoryManager)
        return false;
    XmlDocument document;
    if (!ParseFromMemory(reply.c_str(), document, false, nullptr, nullptr) || !document)
        return false;
    Limits read;
    if (!ReadLimits(document.get(), "USER_NAME_LENGTH", read.userMin, read.userMax) ||
        !ReadLimits(document.get(), "PASSWORD_LENGTH", read.passwordMin, read.passwordMax))
        return false;
    limits = read;
    return true;
}

bool CSMemoryConfigParams::InitConfigurableParams(const AccountServerFactory& server,
                                                  Limits& limits) {
    CLIENT_TRACE_ENTERED(kClass);
    std::string reply;
    if (!GetConfigurableParametersFromServer(server, reply)) {
        CLIENT_TRACE(CSTrace::eError, "Failed to get configurable parameters from server", kClass);
        return false;
    }
    if (!ParseConfigurableParams(reply, limits)) {
        CLIENT_TRACE(CSTrace::eError, "Failed to parse configurable parameters XML", kClass);
        return false;
    }
    return true;
}

bool CSMemoryConfigParams::CheckUserNameLengthValidity(const AccountServerFactory& server,
                                                       IPrompt& prompt, const std::string& name) {
    CLIENT_TRACE_ENTERED(kClass);
    Limits limits;
    if (!InitConfigurableParams(server, limits)) {
        ShowClientMessage(prompt, IDS_NEW_USER_FAILED, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
        CLIENT_TRACE(CSTrace::eError, "InitConfigurableParams failed --> server unavialable",
                     kClass);
        return false;
    }
    if (CharacterCount(name) > limits.userMax) {
        prompt.MessageBox(FormatClientString(IDS_USER_NAME_TOO_LONG, limits.userMax),
                          LoadClientString(IDS_CAPTION_ERROR), MB_OK | MB_ICONERROR);
        CLIENT_TRACE(CSTrace::eError, "Username length is not valid", kClass);
        return false;
    }
    return true;
}
