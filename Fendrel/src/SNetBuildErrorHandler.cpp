#include "Fendrel/SNetBuildErrorHandler.h"

#include "Fendrel/NxTrace.h"
#include "OrvaneXercesUtils/OrvaneXercesUtils.h"

#include <xercesc/sax/SAXParseException.hpp>

namespace {
const char kClass[] = "SNetBuildErrorHandler";
const char kFile[] = "SNetBuildErrorHandler";
} // namespace

SNetBuildErrorHandler::~SNetBuildErrorHandler() = default;

void SNetBuildErrorHandler::Report(const xercesc::SAXParseException& e, const char* method) {
    try {
        std::string text = orvane::xml::ToUtf8(e.getMessage());
        text += ", at line: ";
        text += orvane::xml::IntToText(static_cast<long long>(e.getLineNumber()));
        text += ", column: ";
        text += orvane::xml::IntToText(static_cast<long long>(e.getColumnNumber()));
        fendrel::MethodTrace trace(kClass, method, kFile, false);
        trace.Error("Error:");
        trace.Error(text.c_str());
        m_sErrLog = std::move(text);
    } catch (...) {
    }
}

void SNetBuildErrorHandler::warning(const xercesc::SAXParseException& e) {
    Report(e, "warning");
}

void SNetBuildErrorHandler::error(const xercesc::SAXParseException& e) {
    Report(e, "error");
}

void SNetBuildErrorHandler::fatalError(const xercesc::SAXParseException& e) {
    Report(e, "fatalError");
}

void SNetBuildErrorHandler::resetErrors() {
    m_sErrLog.clear();
    fendrel::MethodTrace(kClass, "resetErrors", kFile, false).Error("No MSG!");
}
