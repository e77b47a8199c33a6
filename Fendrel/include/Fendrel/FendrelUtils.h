// Process-wide set-up of the library: the XML platform and the DTD directory.
#pragma once

#include <string>

// Sets the process-wide DTD directory; parsers constructed afterwards copy it.
void SetDtdPath(const char* dir);
// The process-wide DTD directory ("" when none is set).
std::string GetDtdPath();

// Start and end of the XML platform; the client calls XMLInitModule once at start-up.
bool XMLInitModule();
bool XMLTerminateModule();
// true starts the platform when it is not running; false ends it when it is.
// Both report whether the platform is running afterwards (false: ended or failed).
bool InitXMLPlatform(bool init);
