// The WAN section element (WAN_NUVEX) as an imported scenario carries it: parsed, every
// latency, loss and effect read out, written and read again.
#include "common/XmlTarget.h"

#include "Fendrel/SWanNuvexParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::StartXml();
    fuzz::Input in(data, size);
    const bool validate = fuzz::Validate(data, size, in);
    const std::string text = fuzz::Text(in);
    CSWanNuvexParser wan;
    wan.SetTopovelDtdPath(FENDREL_DTD_DIR);
    if (wan.Parse(text.c_str(), validate) != NX_SUCCESS)
        return 0;
    SHString a, b, c, d, e;
    wan.GetID(a);
    wan.GetName(a);
    wan.GetDescription(a);
    wan.GetLatencyType(a);
    wan.GetFixedLatency(a);
    wan.GetNormalLatency(a, b);
    wan.GetUniformLatency(a, b, c, d);
    wan.GetLinearLatency(a, b, c);
    wan.GetRecordedLatency(a, b, c);
    wan.GetPacketLossType(a);
    wan.GetPeriodicPacketLoss(a);
    wan.GetRandomPacketLoss(a);
    wan.GetBurstPacketLoss(a, b, c);
    wan.GetGilbertElliotLoss(a, b, c, d);
    wan.GetRecordedPacketLoss(a);
    wan.GetBitError(a, b, c);
    wan.GetOutOfOrder(a, b, c);
    wan.GetDuplicatePackets(a, b, c);
    wan.GetFragmentation(a, b, c);
    wan.GetTTL(a, b, c, d);
    wan.GetDisconnect(a, b, c);
    wan.GetCongestion(a, b, c, d, e);
    fuzz::CheckRewrite(wan, [](CSWanNuvexParser&) {});
    return 0;
}
