// The document conversion with the DTD of the client's installation folder.
#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ScenarioConversion.h"

int CScenarioConverter::ConvertTopovelToNuvexPlayParams(const std::string& xml,
                                                        PlayParameters* params) {
    std::string folder;
    CClientSettings settings;
    if (!settings.bGetInstallFolder(folder))
        folder.clear();
    return ConvertTopovelToNuvexPlayParams(xml, params, folder);
}
