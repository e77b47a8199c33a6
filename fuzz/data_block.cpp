// The recorded data block (DATA_BLOCK) as an imported scenario carries it: parsed, its
// samples and recording details read out, written and read again.
#include "common/XmlTarget.h"

#include "Fendrel/SDataBlockParser.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::StartXml();
    fuzz::Input in(data, size);
    const bool validate = fuzz::Validate(data, size, in);
    const std::string text = fuzz::Text(in);
    CSDataBlockParser block;
    block.SetTopovelDtdPath(FENDREL_DTD_DIR);
    if (block.Parse(text.c_str(), validate) != NX_SUCCESS)
        return 0;
    SHString s;
    block.GetID(s);
    block.GetName(s);
    block.GetSamplesInterval(s);
    unsigned length = 0;
    block.GetSampleIntervalLength(length);
    unsigned count = 0;
    if (block.GetSamplesCount(count) == NX_SUCCESS) {
        // The arrays as the conversion asks for them: the count, and one more than it.
        for (unsigned ask : {count, count + 1}) {
            std::vector<int> latency(ask);
            std::vector<float> loss(ask);
            block.GetSampleLatencyArray(ask, latency.data());
            block.GetSampleLossArray(ask, loss.data());
        }
        for (unsigned i : {0u, count / 2, count ? count - 1 : 0, count}) {
            block.GetSampleLatency(i, s);
            block.GetSampleLoss(i, s);
        }
    }
    _RECORDING_DETAILS details;
    block.GetRecordingDetails(details);
    fuzz::CheckRewrite(block, [](CSDataBlockParser&) {});
    return 0;
}
