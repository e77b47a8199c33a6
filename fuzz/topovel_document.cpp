// The scenario document (TOPOVEL) as a user or the server hands it in: parsed with or
// without validation, written and read again, and walked as the import and the
// conversion walk it: root attributes, network objects (the WAN sections through their
// own parser), links, recorded data blocks (through theirs) and user data.
#include "common/XmlTarget.h"

#include "Fendrel/SDataBlockParser.h"
#include "Fendrel/STopovelDocumentParser.h"
#include "Fendrel/SWanNuvexParser.h"

namespace {

void Walk(CSTopovelDocParser& doc) {
    SHString s, t;
    doc.GetID(s);
    doc.GetName(s);
    doc.GetDescription(s);
    doc.GetCreatedBy(s);
    doc.GetUserData(s);
    doc.GetCreatedOnHostName(s);
    doc.GetCreatedOnDate(s);
    doc.GetOrigin(s);
    doc.GetUserDataBlock(s, "USER");

    unsigned objects = 0;
    if (doc.GetNetObjectsCount(objects) == NX_SUCCESS)
        for (unsigned i = 0; i < objects && i < 64; ++i) {
            SHString xml, tag;
            if (doc.GetNetObjectXML(i, xml, tag) != NX_SUCCESS)
                continue;
            if (fuzz::Str(tag) == "WAN_NUVEX") {
                CSWanNuvexParser wan;
                if (wan.Parse(xml.GetString(), false) == NX_SUCCESS) {
                    wan.GetLatencyType(s);
                    wan.GetPacketLossType(s);
                }
            }
        }

    unsigned links = 0;
    if (doc.GetLinksCount(links) == NX_SUCCESS)
        for (unsigned i = 0; i < links && i < 64; ++i) {
            SHString from, to;
            bool one = false;
            if (doc.GetLinkNetObjects(i, from, to, one) != NX_SUCCESS)
                continue;
            const std::string a = fuzz::Str(from), b = fuzz::Str(to);
            doc.IsLinked(a.c_str(), b.c_str());
            SHString xml, other;
            doc.GetNetObjectTag(a.c_str(), t);
            doc.GetNetObjectXML(b.c_str(), xml);
            doc.GetLinkedNetObject(a.c_str(), other, 0);
        }

    unsigned blocks = 0;
    if (doc.GetDataBlocksCount(blocks) == NX_SUCCESS)
        for (unsigned i = 0; i < blocks && i < 16; ++i) {
            SHString xml;
            if (doc.GetDataBlockXML(i, xml) != NX_SUCCESS)
                continue;
            CSDataBlockParser block;
            unsigned count = 0;
            if (block.Parse(xml.GetString(), false) == NX_SUCCESS &&
                block.GetSamplesCount(count) == NX_SUCCESS && count > 0) {
                std::vector<int> latency(count);
                block.GetSampleLatencyArray(count, latency.data());
            }
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::StartXml();
    fuzz::Input in(data, size);
    const bool validate = fuzz::Validate(data, size, in);
    const std::string text = fuzz::Text(in);
    CSTopovelDocParser doc;
    doc.SetTopovelDtdPath(FENDREL_DTD_DIR);
    if (doc.Parse(text.c_str(), validate) != NX_SUCCESS)
        return 0;
    Walk(doc);
    fuzz::CheckRewrite(doc, [](CSTopovelDocParser& d) { d.SetTopovelDtdPath(FENDREL_DTD_DIR); });
    return 0;
}
