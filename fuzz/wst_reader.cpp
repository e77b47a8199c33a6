// Scenario recordings ("wst" files) as the server hands them out: read, their delay
// gaps filled as a download's are, summarised for the import page, converted into play
// parameters, and those checked by the control library and laid out as a play block,
// which the daemon's load check must then take.
#include "common/FuzzInput.h"

#include "AltirenClient/PlayParams.h"
#include "AltirenClient/ScenarioConversion.h"
#include "AltirenClient/ScenarioSummary.h"
#include "AltirenClient/WstScenario.h"
#include "AltirenPlayCheck/BlockBuilder.h"
#include "AltirenPlayCheck/PlayCheck.h"
#include "quellin_wire/Checksum.h"
#include "quellin_wire/DriverPlayBlock.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CWSTScenario scenario;
    if (!scenario.ReadWSTbytes(std::vector<uint8_t>(data, data + size)))
        return 0;
    scenario.SmoothDelaySamples();
    CScenarioSummary::PlainText(CScenarioSummary::FromRecording(scenario));

    CPlayParams params;
    if (CScenarioConverter::ConvertWSTToNuvexPlayParams(scenario, params.get()) != 1)
        return 0;
    altiren_api::PlayBlockValues values;
    if (altiren_api::check_and_convert(*params, values) != 0)
        return 0;
    const auto block = altiren_api::build_play_block(values);
    const uint16_t sum = quellin::wire::internet_checksum(block.data(), block.size());
    if (quellin::wire::check_play_block(block.data(), block.size(), sum) != 0)
        fuzz::Fail("the daemon refuses a play block that the control library built");
    return 0;
}
