// Parser subclasses that open the protected members to the tests.
#pragma once

#include "Fendrel/STopovelDocumentParser.h"

#include <string>

namespace fendrel_test {

// A minimal element parser built on the base's helpers, as the element parsers are.
class CTestElementParser : public CSTopovelBaseParser {
public:
    NX_RC CreateNew(const char* id, const char* name) override {
        NX_METHOD_TRACE("CTestElementParser", "TestParsers");
        return CreateNewElement(trace, "TEST_ELEMENT", id, name,
                                "Fail to create TEST_ELEMENT object");
    }
    // Children kept in the order HEAD, LIMITS, TAIL.
    NX_RC SetHead(const char* value) {
        NX_METHOD_TRACE("CTestElementParser", "TestParsers");
        return SetElementAttributes(trace, "Failed to set head", "HEAD", kOrder,
                                    {{"VALUE", value}});
    }
    NX_RC SetTail(const char* value) {
        NX_METHOD_TRACE("CTestElementParser", "TestParsers");
        return SetElementAttributes(trace, "Failed to set tail", "TAIL", kOrder,
                                    {{"VALUE", value}});
    }
    NX_RC GetHead(SHString& value) {
        NX_METHOD_TRACE("CTestElementParser", "TestParsers");
        return GetElementAttributes(trace, "Failed to get head", "HEAD", {{"VALUE", &value}});
    }
    NX_RC SetLimits(const char* min, const char* max) {
        fendrel::MethodTrace trace("CTestElementParser", "SetLimits", "TestParsers");
        return DomCall(trace, "Failed to set limits", [&] {
            DOMElement* limits = FindElement("LIMITS");
            if (!limits)
                limits = AppendElement(Root(), "LIMITS");
            WriteAttributes(limits, {{"MIN", min}, {"MAX", max}});
            return NX_SUCCESS;
        });
    }
    NX_RC GetLimits(SHString& min, SHString& max) {
        fendrel::MethodTrace trace("CTestElementParser", "GetLimits", "TestParsers");
        return DomCall(trace, "Failed to get limits", [&] {
            DOMElement* limits = FindElement("LIMITS");
            if (limits)
                ReadAttributes(limits, {{"MIN", &min}, {"MAX", &max}});
            return limits != nullptr;
        });
    }
    inline static const orvane::xml::TagOrder kOrder{"HEAD", "LIMITS", "TAIL"};
    using CSTopovelBaseParser::bGetUniqueElement;
    using CSTopovelBaseParser::GetDocAttribute;
    std::string DtdPath() const { return m_sDtdPath; }
};

class CTestDocParser : public CSTopovelDocParser {
public:
    using CSTopovelDocParser::AddToBlockMap;
    using CSTopovelDocParser::ClearRecordedBlocksMap;
    using CSTopovelDocParser::CSTopovelDocParser;
    using CSTopovelDocParser::GetBlockFromMap;
    using CSTopovelDocParser::InitRecordedBlocksMap;
    using CSTopovelDocParser::RemoveRecDataByNodeXMLLable;
    using CSTopovelDocParser::RestoreRecordedBlocksFromMap;

    // The block stored under a label, or "" when there is none.
    std::string Block(const std::string& label) {
        char* data = nullptr;
        long length = 0;
        if (!GetBlockFromMap(label.c_str(), &data, length) || !data)
            return std::string();
        return std::string(data, static_cast<size_t>(length));
    }
};

inline std::string Text(SHString& s) {
    return s.GetString() ? s.GetString() : "";
}

inline std::string Xml(CSTopovelBaseParser& parser) {
    SHString s;
    return parser.GetXML(s) == NX_SUCCESS ? Text(s) : std::string("<GetXML failed>");
}

} // namespace fendrel_test
