// The whole scenario document (TOPOVEL): descriptive root attributes, network
// objects, links, recorded-data blocks and user data. Recorded sample bodies stay out
// of the DOM in the recorded-block map and pass through byte for byte.
#pragma once

#include "Fendrel/STopovelBaseParser.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CSTopovelDocParser : public CSTopovelBaseParser {
public:
    CSTopovelDocParser();
    CSTopovelDocParser(const char* a, const char* b);
    CSTopovelDocParser(const char* a, const char* b, const char* dtdFileName);
    CSTopovelDocParser(const CSTopovelDocParser& other);
    CSTopovelDocParser& operator=(const CSTopovelDocParser& other);
    ~CSTopovelDocParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;
    NX_RC GetName(SHString& name) override;
    NX_RC Parse(const char* xml, bool validate) override;
    NX_RC GetXML(SHString& xml) override;
    virtual NX_RC CreateNew(const char* id, const char* name, const char* origin);

    // Writes the document and parses the text again with validation, reading the DTD
    // from this object's DTD directory.
    NX_RC Validate();

    // Root attributes.
    NX_RC SetDescription(const char* text);
    NX_RC GetDescription(SHString& text);
    NX_RC SetCreatedBy(const char* text);
    NX_RC GetCreatedBy(SHString& text);
    NX_RC SetUserData(const char* text);
    NX_RC GetUserData(SHString& text);
    NX_RC SetCreatedOnHostName(const char* text);
    NX_RC GetCreatedOnHostName(SHString& text);
    NX_RC SetCreatedOnDate(const char* text);
    NX_RC GetCreatedOnDate(SHString& text);
    NX_RC GetOrigin(SHString& text);

    // Network objects.
    NX_RC GetNetObjectsCount(unsigned& count);
    NX_RC AddNetObject(const char* xml);
    NX_RC ReplaceNetObject(const char* id, const char* xml);
    NX_RC DeleteNetObject(const char* id);
    NX_RC GetNetObjectXML(const char* id, SHString& xml);
    NX_RC GetNetObjectXML(unsigned index, SHString& xml, SHString& tag);
    NX_RC RemoveNetObject(unsigned index);
    NX_RC RemoveNetObjects(const char* tag);
    NX_RC EmptyNetObjects(const char* tag);
    NX_RC GetNetObjectTag(const char* id, SHString& tag);
    bool IsNetObjectExist(const char* tag);

    // Links.
    NX_RC LinkNetObjects(const char* from, const char* to, bool unidirectional);
    NX_RC GetLinksCount(unsigned& count);
    NX_RC GetLinkNetObjects(unsigned index, SHString& from, SHString& to, bool& unidirectional);
    NX_RC UnLinkNetObjects(const char* from, const char* to, bool unidirectional);
    bool IsLinked(const char* from, const char* to);
    NX_RC RemoveLinks();
    // The object at the other end of the index-th link that names `id` at either end.
    NX_RC GetLinkedNetObject(const char* id, SHString& other, unsigned index);

    // Recorded data.
    NX_RC GetDataBlocksCount(unsigned& count);
    NX_RC AddDataBlock(const char* xml);
    // Adds the text of a data block parser (any parser whose GetXML writes a DATA_BLOCK).
    NX_RC AddDataBlock(CSTopovelBaseParser& block);
    NX_RC ReplaceDataBlock(const char* name, const char* xml);
    NX_RC DeleteDataBlock(const char* name);
    NX_RC DeleteDataBlock(unsigned index);
    NX_RC RemoveAllRecordedData();
    NX_RC GetDataBlockXML(const char* name, SHString& xml);
    NX_RC GetDataBlockXML(unsigned index, SHString& xml);

    // User data.
    NX_RC SetUserDataBlock(const char* value, const char* name);
    NX_RC GetUserDataBlock(SHString& value, const char* name);

protected:
    // Recorded-block map.
    bool AddToBlockMap(const char* data, long length, std::string& label);
    bool GetBlockFromMap(const char* label, char** data, long& length);
    void ClearRecordedBlocksMap();
    void RemoveRecDataByNodeXMLLable(const char* xml);
    // Cuts the non-empty sample bodies out into the map; the cut text (malloc, the
    // caller frees it) and its length, 0 when nothing was cut, -1 on failure.
    long InitRecordedBlocksMap(const char* xml, char** cut);
    // Puts the stored bodies back in place of their labels; as above.
    long RestoreRecordedBlocksFromMap(const char* xml, char** restored);

private:
    // The map and the label counter go with the document: copies that share the
    // document share them, and a new document gets a new map that continues the count.
    struct RecordedBlocks {
        std::map<std::string, std::string> blocks;
        long counter = 10000;
    };

    void NewRecordedBlocks();
    // Raises the label counter to the largest number of a comment in the text that reads
    // like a label, so that no label given out later meets such a comment on output.
    void CountPastLabelsIn(std::string_view text);
    // True when the text holds a comment that reads like the label of a stored block:
    // written out, it would receive that block's samples.
    bool HoldsStoredLabel(std::string_view text) const;
    long CutRecordedBlocks(const char* xml, std::string& cut, std::vector<std::string>& labels);
    long RestoreRecordedBlocks(const char* xml, std::string& restored);
    void DropLabels(const std::vector<std::string>& labels);
    void DropLabelsIn(const std::string& xml);

    DOMElement* RootChild(const char* tag) const;
    DOMElement* NetObjects() const { return FindElement("NET_OBJECTS"); }
    DOMElement* NetObjectById(const char* id) const;
    DOMElement* DataBlockByName(const char* name) const;
    DOMElement* DataBlockAt(unsigned index) const;
    NX_RC WriteDataBlock(DOMElement* block, SHString& xml);
    NX_RC DeleteDataBlockElement(DOMElement* block);
    // Parses a fragment (sample bodies cut out first when `cutRecorded`) and imports
    // its element into this document; the labels it stored go to `labels`. A fragment
    // that holds the label of a stored block is refused.
    DOMElement* ImportFragment(const char* xml, bool cutRecorded, std::vector<std::string>& labels);

    std::shared_ptr<const std::string> m_pFirstText;
    std::shared_ptr<const std::string> m_pSecondText;
    std::shared_ptr<RecordedBlocks> m_pRecorded;
};
