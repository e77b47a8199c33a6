#include "AltirenPlayCheck/Defaults.h"

#include <cstring>

namespace altiren_api {

void set_default_play_params(PlayParameters& p) {
    std::memset(&p, 0, sizeof p);
    p.eastOutBandwidth = p.eastInBandwidth = NUVEX_UNLIMITED_BANDWIDTH;
    p.westOutBandwidth = p.westInBandwidth = NUVEX_UNLIMITED_BANDWIDTH;
    p.eastBucketMode = p.westBucketMode = 1;
    p.eastBucketSize = p.westBucketSize = 65535;
    p.gilbertBadLoss = 0.01;
    p.gilbertToGood = 0.2;
    p.gilbertToBad = 0.2;
    p.outOfOrderChance = NUVEX_GROUP_OFF;
    p.duplicationChance = NUVEX_GROUP_OFF;
    p.fragmentationChance = NUVEX_GROUP_OFF;
    p.bitErrorChance = NUVEX_GROUP_OFF;
    p.disconnectChance = NUVEX_GROUP_OFF;
    p.congestionChance = NUVEX_GROUP_OFF;
    p.recordedKind = 1;
}

} // namespace altiren_api
