#include "AltirenClient/StringTable.h"

#include <algorithm>
#include <iterator>

namespace {

struct Entry {
    UINT id;
    const char* text;
};

// Sorted by id.
constexpr Entry kStrings[] = {
    {IDS_TRAY_TOOLTIP, "Pramitone"},
    {IDS_INVALID_BANDWIDTH, "Invalid Bandwidth Limitation parameter.\nValid range: %.1f - %.1f"},
    {IDS_INVALID_LATENCY, "Invalid Latency parameter.\nValid range: %d - %d"},
    {IDS_INVALID_PACKET_LOSS, "Invalid Packet Loss parameter.\nValid range: %d - %d"},
    {IDS_CANNOT_PLAY_PARAMETERS, "Cannot play the emulation due to internal parameters settings."},
    {IDS_LOGON_FAILED, "Error starting the Pramitone client. To log on to the Pramitone client you "
                       "need to type a user name and password."},
    {IDS_REGISTER_FAILED,
     "Failed to register Pramitone Client. This may occur due to a network failure or when "
     "Pramitone server is not available. Please contact your Pramitone Administrator."},
    {IDS_SERVER_IP_IN_IMPORT,
     "The emulation settings include the Pramitone server IP address.\nPlease note this may "
     "prevent the Pramitone client from functioning normally.\nClick OK to continue the "
     "emulation without the server's IP address, or click Cancel to quit the import process."},
    {IDS_CAPTION_ERROR, "Pramitone"},
    {IDS_CAPTION_WARNING, "Pramitone"},
    {IDS_CAPTION_INFORMATION, "Pramitone"},
    {IDS_STATISTICS_FAILED, "Failed to collect emulation statistics from driver."},
    {IDS_CLOSE_GRAPHS, "Starting a new Emulation will close all open graphs windows. Click OK to "
                       "continue or click Cancel to stop."},
    {IDS_NO_ADAPTER,
     "The Pramitone service has failed to detect an Ethernet Network Adapter.\nCheck that your "
     "Ethernet Network Adapter is enabled and enabled and start \nthe Pramitone Client "
     "again.\nIf the problem persists, please contact your Pramitone Administrator."},
    {IDS_INVALID_FILE, "Invalid file."},
    {IDS_EXIT_WHILE_PLAYING, "Pramitone is currently in Play mode.\nClick OK to stop the emulation "
                             "and quit, or click Cancel to continue playing the emulation."},
    {IDS_GRAPH_IN_STOP_MODE, "Graph window cannot be displayed in Stop mode."},
    {IDS_SELECT_LOGIN_TYPE, "Please select a Login type and then enter your login details."},
    {IDS_UPGRADE_AVAILABLE, "A new version of Pramitone client is available for download.\nWould "
                            "you like to upgrade your Pramitone client?"},
    {IDS_UPGRADE_REQUIRED, "The current version of the Pramitone client is not supported.\nPlease "
                           "proceed with the automatic upgrade."},
    {IDS_PREVIOUS_EMULATION_PLAYING,
     "Pramitone is currently playing a previous emulation. Click OK to stop the previous "
     "emulation and to start the Pramitone or click Cancel to quit."},
    {IDS_PREVIOUS_EMULATION_RESET_FAILED,
     "Error stopping the previous emulation. Please restart your computer."},
    {IDS_UPGRADE_WHILE_PLAYING, "Pramitone is playing an emulation. \nTo stop the emulation and "
                                "continue the upgrade proccess \nplease press the 'OK' button."},
    {IDS_OPTIONS_DESCRIPTION, "Please enter your Pramitone login details."},
    {IDS_CHOOSE_IP_ADDRESS, "Please choose an IP address and then click the button."},
    {IDS_CHANGE_LOGIN_FAILED,
     "Error changing the login details. This can occur for one of the following reasons:\n* "
     "The Pramitone server could not be found.\n* The user name is invalid or does not "
     "exist.\n* Invalid password for the specified user name."},
    {IDS_IP_ALREADY_LISTED, "The IP address '%s' is already in the list."},
    {IDS_TOO_MANY_FILTER_IPS, "You cannot specify more than %d IP addresses to filter."},
    {IDS_ADAPTER_IN_FILTER, "The active adapter IP address '%s' cannot be in the filter IP list."},
    {IDS_PASSWORD_MISMATCH,
     "The passwords you typed do not match. Type the new password in both text boxes."},
    {IDS_OPTIONS_CAPTION, "Pramitone Client Options"},
    {IDS_NON_ZERO_IP, "Please specify a non zero IP address."},
    {IDS_RANGE_ORDER,
     "The \"To IP\" address, must be greater or equal to the \"From IP\" address."},
    {IDS_CHOOSE_IP_RANGE, "Please choose an IP address range and then click the button."},
    {IDS_LOCAL_HOST_IN_RANGE,
     "Your computer's IP is present in the  Include/Exclude IP range definitions. Statistic "
     "filtering will behave as if your computer's IP is not included in these IP range "
     "definitions."},
    {IDS_SERVER_IP_IN_FILTER,
     "The emulation settings include the Pramitone server's IP address.\nPlease note this may "
     "prevent the Pramitone client from functioning properly.\nClick OK to continue the "
     "emulation without the server's IP address, or click Cancel to cancel the current filter "
     "settings."},
    {IDS_SERVER_UNREACHABLE, "Could not access the Pramitone server."},
    {IDS_IMPORT_FAILED, "Could not import the emulated network file."},
    {IDS_LOGIN_OPTIONS_TOPIC, "Login_Options"},
    {IDS_ENTER_EMAIL, "Please enter your e-mail address."},
    {IDS_NEW_USER_FAILED,
     "Error creating new Pramitone user. This can occur for one of the following reasons:\n* "
     "The Pramitone server could not be found.\n* The user account already exists.\n* The "
     "e-mail address is not recognized as a valid domain."},
    {IDS_INCLUDE_LIST_EMPTY,
     "Please specify at least one address in the Include IP Addresses list."},
    {IDS_NEW_USER_ADDED,
     "Your user details were added to the Pramitone server database, and an e-mail was sent to "
     "'%s'. This e-mail contains your user name and password to start the Pramitone "
     "client.\nPlease log in with the user name and password of that e-mail."},
    {IDS_PASSWORD_CHANGED, "Password changed successfully."},
    {IDS_OLD_PASSWORD_INVALID, "Old password is invalid."},
    {IDS_PASSWORD_CHANGE_FAILED, "Failed to change password."},
    {IDS_OVERLAPS_INCLUDE,
     "The IP range overlaps with one or more IPs defined in the Include IPs list."},
    {IDS_OVERLAPS_EXCLUDE,
     "The IP range overlaps with one or more IPs defined in the Exclude IPs list."},
    {IDS_DUPLICATE_INCLUDE,
     "There are duplicate ranges in the Include IPs list. Please remove the redundant ranges."},
    {IDS_DUPLICATE_EXCLUDE,
     "There are duplicate ranges in the Exclude IPs list. Please remove the redundant ranges."},
    {IDS_REGISTRATION_FAILED,
     "Error registering with the Pramitone server. This can occur for one of the following "
     "reasons:\n* The Pramitone server could not be found.\n* The user name is invalid or does "
     "not exist.\n* Invalid password for the specified user name."},
    {IDS_ENTER_USER_NAME, "Please type your user name."},
    {IDS_USER_NAME_TOO_LONG, "Please type a user name that is up to %ld characters."},
    {IDS_NO_VALID_ADAPTER,
     "The Pramitone service failed to detect Ethernet adapters with valid IP address."},
    {IDS_NO_VALID_ADAPTER_CHECK, "The Pramitone service failed to detect Ethernet adapters with "
                                 "valid IP address. Please check your settings."},
    {IDS_IP_FIELD_RANGE,
     "%d is not a valid entry.  Please specify a value between 0 and 255 for this field."},
    {IDS_IP_MISSING_VALUE, "Missing value in IP address"},
    {IDS_IP_ERROR_CAPTION, "Error"},
    {IDS_SELECT_ITEM_CAPTION, "Select Item"},
    {IDS_INVALID_RANGE_CAPTION, "Invalid IP Range"},
    {IDS_RANGE_ERROR_CAPTION, "IP Range Error"},
    {IDS_LOCAL_HOST_CAPTION, "Local Host in Range"},
    {IDS_INTEGER_RANGE, "Please enter an integer between %d and %d."},
    {IDS_INSTANCE_LOCK_FAILED, "Pramitone cannot start: %s"},
    {IDS_INSTANCE_NOT_ANSWERING,
     "Pramitone is already running for this user but does not answer. End it, then start "
     "Pramitone again."},
    {IDS_WAITING_FOR_SERVER, "Waiting for the Pramitone server..."},
    {IDS_BROWSER_ADDRESS_MISSING,
     "The address of the Pramitone server's scenario page is not set (the value AltirenBrowser "
     "of the client's settings).\nPlease contact your Pramitone Administrator."},
    {IDS_ACCOUNT_MISSING,
     "The Pramitone account of this client is not set (the value AccountID of the client's "
     "settings).\nPlease contact your Pramitone Administrator."},
    {IDS_EMULATION_LOST,
     "The emulation has stopped: the Pramitone service at %s no longer plays it.\nPress Play "
     "to play again once the service is back."},
    {IDS_DRIVER_UNREACHABLE,
     "The Pramitone service cannot be reached at its control device %s.\nCheck that the "
     "service runs, then start the Pramitone Client again."},
};

// Tool tips of the toolbar's commands.
constexpr Entry kCommandStrings[] = {
    {ID_HELP_HELP, "Open Help Window"},
    {ID_VIEW_STATISTICS, "Open Statistics Window"},
    {ID_VIEW_BASIC, "Show Basic Panel"},
    {ID_VIEW_ADVANCED, "Show Advanced Panel"},
    {ID_VIEW_PROFESSIONAL, "Show Professional Panel"},
};

const char* Find(const Entry* first, const Entry* last, UINT id) {
    const Entry* it =
        std::lower_bound(first, last, id, [](const Entry& e, UINT key) { return e.id < key; });
    return it != last && it->id == id ? it->text : nullptr;
}

} // namespace

const char* GetClientString(UINT id) {
    if (const char* text = Find(std::begin(kStrings), std::end(kStrings), id))
        return text;
    return Find(std::begin(kCommandStrings), std::end(kCommandStrings), id);
}

std::string LoadClientString(UINT id) {
    const char* text = GetClientString(id);
    return text ? text : std::string();
}
