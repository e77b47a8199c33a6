#include "AltirenApp/HelpTopics.h"

namespace HelpTopics {

namespace {

struct Range {
    UINT first;
    UINT last;
    const char* topic;
};

constexpr Range kTopics[] = {
    {1002, 1002, "Emulating"},
    {1006, 1008, "Preset"},
    {1010, 1011, "Manual"},
    {1013, 1013, "Manual"},
    {1016, 1017, "Import"},
    {1084, 1084, "Network_Adapter"},
    {1101, 1101, "TopTalkers"},
    {1109, 1112, "ChangeUser"},
    {1128, 1128, "ChangeUser"},
    {1113, 1113, "ChangePassword"},
    {1163, 1165, "ChangePassword"},
    {1116, 1116, "StatisticsOptions"},
    {1133, 1134, "StatisticsOptions"},
    {1118, 1121, "FilterIP"},
    {1124, 1126, "FilterIP"},
    {1123, 1123, "IPAddress"},
    {1127, 1127, "StatisticsOptionsDuplicate"},
    {1149, 1149, "StatisticsOptionsDuplicate"},
    {1130, 1130, "IPRange"},
    {1132, 1132, "IPRange"},
    {1147, 1147, "IPRange"},
    {1151, 1151, "IPRange"},
    {1136, 1136, "StatisticsOptionsAdd"},
    {1140, 1140, "StatisticsOptionsAdd"},
    {1138, 1138, "StatisticsOptionsEdit"},
    {1143, 1143, "StatisticsOptionsEdit"},
    {1139, 1139, "StatisticsOptionsRemove"},
    {1145, 1145, "StatisticsOptionsRemove"},
    {61260, 61260, "Login_Options"},
};

std::string FileUrl(const std::string& helpFolder, const std::string& page) {
    const std::string folder =
        !helpFolder.empty() && helpFolder[0] == '/' ? helpFolder.substr(1) : helpFolder;
    return "file:///" + folder + "/" + page;
}

} // namespace

std::string TopicFor(UINT controlId) {
    for (const Range& range : kTopics)
        if (controlId >= range.first && controlId <= range.last)
            return range.topic;
    return {};
}

std::string IndexUrl(const std::string& helpFolder) {
    return FileUrl(helpFolder, "index.htm");
}

std::string TopicUrl(const std::string& helpFolder, const std::string& topic) {
    return IndexUrl(helpFolder) + "?context=AltirenClient&topic=" + topic;
}

std::string TopicPageUrl(const std::string& helpFolder, const std::string& topic) {
    return FileUrl(helpFolder, topic + ".htm");
}

} // namespace HelpTopics
