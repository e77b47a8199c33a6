#include "AltirenClient/PlayParams.h"

void FreePlaySamples(PlayParameters& params) {
    if (params.lossSamples != params.delaySamples)
        delete[] params.lossSamples;
    delete[] params.delaySamples;
    params.delaySamples = nullptr;
    params.lossSamples = nullptr;
}
