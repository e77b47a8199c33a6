// Error handler of the library's parses: traces each problem and keeps the last one.
#pragma once

#include <xercesc/sax/ErrorHandler.hpp>

#include <string>

class SNetBuildErrorHandler : public xercesc::ErrorHandler {
public:
    SNetBuildErrorHandler() = default;
    ~SNetBuildErrorHandler() override;

    void warning(const xercesc::SAXParseException& e) override;
    void error(const xercesc::SAXParseException& e) override;
    void fatalError(const xercesc::SAXParseException& e) override;
    void resetErrors() override;

    // The last problem reported: "<message>, at line: <n>, column: <n>".
    std::string GetErrLog() const { return m_sErrLog; }

private:
    void Report(const xercesc::SAXParseException& e, const char* method);

    std::string m_sErrLog;
};
