// The statistics document (TALLIVORE): one statistics element per network object,
// keyed by the object's ID, as direct children of NET_OBJECTS_STATS.
#pragma once

#include "Fendrel/STopovelBaseParser.h"

class CSTallivoreDocParser : public CSTopovelBaseParser {
public:
    CSTallivoreDocParser();
    CSTallivoreDocParser(const char* dtdFileName, const char* version);
    CSTallivoreDocParser(const CSTallivoreDocParser& other) = default;
    CSTallivoreDocParser& operator=(const CSTallivoreDocParser& other) = default;
    ~CSTallivoreDocParser() override;

    // A whole document: XML declaration, DOCTYPE, the root with ID, NAME and
    // TOPOVEL_VERSION, and an empty NET_OBJECTS_STATS.
    NX_RC CreateNew(const char* id, const char* name) override;

    NX_RC GetVersion(SHString& version);
    NX_RC GetPlayTimeOffset(SHString& offset);
    // Writes the document and parses the text again with validation, reading the DTD
    // from this object's DTD directory; the document itself is not changed.
    NX_RC Validate();

    // 0 elements, result 0, when there is no NET_OBJECTS_STATS.
    NX_RC GetStatObjectsCount(unsigned int& count);
    NX_RC GetStatObjectXML(const char* id, SHString& xml);
    NX_RC GetStatObjectXML(unsigned int index, SHString& tag, SHString& xml);
    NX_RC GetStatObjectTag(const char* id, SHString& tag);
    NX_RC RemoveStatObjectByIndex(unsigned int index);
    // Removes every element of that tag; one that is not a direct child of
    // NET_OBJECTS_STATS ends the removal with result 1.
    NX_RC RemoveStatObjectByTagName(const char* tag);

private:
    DOMElement* Container() const { return FindElement("NET_OBJECTS_STATS"); }
    DOMElement* StatObjectById(const char* id) const;
    DOMElement* StatObjectAt(unsigned int index) const;
};
