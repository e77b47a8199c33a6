#include "Fendrel/FendrelUtils.h"

#include "Fendrel/NxTrace.h"
#include "OrvaneXercesUtils/XmlString.h"

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>

namespace {

std::string& dtd_directory() {
    static std::string directory;
    return directory;
}

bool g_bPlatformUp = false;

} // namespace

void SetDtdPath(const char* dir) {
    dtd_directory() = dir ? dir : "";
}

std::string GetDtdPath() {
    return dtd_directory();
}

bool InitXMLPlatform(bool init) {
    if (init && !g_bPlatformUp) {
        try {
            xercesc::XMLPlatformUtils::Initialize();
            g_bPlatformUp = true;
        } catch (const xercesc::XMLException& e) {
            fendrel::MethodTrace trace("InitXMLPlatform", "InitXMLPlatform", "FendrelUtils", false);
            trace.Error("Failed to init XMLPlatformUtils");
            trace.Error(CSTranscodedString(e.getMessage()).Get());
            return false;
        }
        return true;
    }
    if (!init && g_bPlatformUp) {
        xercesc::XMLPlatformUtils::Terminate();
        g_bPlatformUp = false;
        return true;
    }
    return g_bPlatformUp;
}

bool XMLInitModule() {
    return InitXMLPlatform(true);
}

bool XMLTerminateModule() {
    return InitXMLPlatform(false);
}
