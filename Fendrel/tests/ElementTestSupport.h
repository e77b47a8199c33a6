// Checks shared by the element parsers' tests.
#pragma once

#include "Fendrel/STopovelDocumentParser.h"
#include "XmlEnvironment.h"

#include <gtest/gtest.h>

#include <string>

namespace fendrel_test {

// Puts the element's text into a new scenario document, as a network object or as a
// recorded data block, and validates the whole against the DTD.
inline ::testing::AssertionResult ValidatesInScenario(CSTopovelBaseParser& element,
                                                      bool dataBlock = false) {
    CSTopovelDocParser doc;
    doc.SetTopovelDtdPath(DtdDir().c_str());
    if (doc.CreateNew("SCN", "Scenario") != NX_SUCCESS)
        return ::testing::AssertionFailure() << "CreateNew failed";
    SHString text;
    if (element.GetXML(text) != NX_SUCCESS)
        return ::testing::AssertionFailure() << "GetXML failed";
    NX_RC rc = dataBlock ? doc.AddDataBlock(text.GetString()) : doc.AddNetObject(text.GetString());
    if (rc != NX_SUCCESS)
        return ::testing::AssertionFailure() << "not added: " << text.GetString();
    if (doc.Validate() != NX_SUCCESS)
        return ::testing::AssertionFailure() << "not valid: " << text.GetString();
    return ::testing::AssertionSuccess();
}

// Position of a piece of markup in a text (npos when missing), for order checks.
inline size_t At(const std::string& text, const char* piece) {
    return text.find(piece);
}

} // namespace fendrel_test
