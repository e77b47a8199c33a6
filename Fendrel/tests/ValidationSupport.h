// Validation of built elements against the DTD: an element's text is placed where it
// stands in a scenario or statistics document and the whole is parsed with validation.
#pragma once

#include "Fendrel/SNetBuildErrorHandler.h"
#include "OrvaneXercesUtils/OrvaneXercesUtils.h"
#include "XmlEnvironment.h"

#include <gtest/gtest.h>

#include <string>

namespace fendrel_test {

inline ::testing::AssertionResult ValidatesAs(const std::string& rootTag,
                                              const std::string& document) {
    std::string text = "<!DOCTYPE " + rootTag + " SYSTEM \"Topovel_1_2.dtd\">\n" + document;
    SNetBuildErrorHandler handler;
    orvane::xml::XmlDocument parsed;
    if (orvane::xml::ParseFromMemory(text.c_str(), parsed, true, &handler, DtdDir().c_str()))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << handler.GetErrLog() << "\n" << text;
}

// A network object inside NET_OBJECTS of a scenario document.
inline ::testing::AssertionResult ValidNetObject(const std::string& xml) {
    return ValidatesAs("TOPOVEL", "<TOPOVEL><NET_OBJECTS>" + xml + "</NET_OBJECTS></TOPOVEL>");
}

// A statistics element inside NET_OBJECTS_STATS of a statistics document.
inline ::testing::AssertionResult ValidStatObject(const std::string& xml) {
    return ValidatesAs("TALLIVORE",
                       "<TALLIVORE><NET_OBJECTS_STATS>" + xml + "</NET_OBJECTS_STATS></TALLIVORE>");
}

} // namespace fendrel_test
