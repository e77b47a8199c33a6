// Users, presets and settings of the management-server stand-in, kept in a small
// tab-separated text file of its own:
//
//   user     <name> <password> <account id> <e-mail>
//   preset   <type> <value> <value> ...
//   param    <element> <min> <max>
//   upgrade  <priority>
//
// Lines starting with '#' and empty lines are ignored. Fields may hold blanks but no
// tabs or line ends.
#pragma once

#include <string>
#include <vector>

namespace mgmt {

struct UserRecord {
    std::string name;
    std::string password;
    std::string account;
    std::string email;
};

struct PresetList {
    std::string type;
    std::vector<std::string> values;
};

struct ParamLimits {
    std::string element; // USER_NAME_LENGTH, PASSWORD_LENGTH
    std::string min;
    std::string max;
};

class AccountStore {
public:
    // A new store: no users, the presets and limits a fresh server hands out, upgrade
    // priority "NOT".
    AccountStore();

    // Replaces the content with the file's; false (content unchanged) when it cannot
    // be read or a line is malformed.
    bool Load(const std::string& path, std::string& error);
    // Writes the content to a temporary file and renames it over path.
    bool Save(const std::string& path, std::string& error) const;

    // Exact name match; null when unknown.
    const UserRecord* FindUser(const std::string& name) const;
    // False when the name is taken or empty.
    bool AddUser(const UserRecord& user);
    bool SetPassword(const std::string& name, const std::string& password);

    const std::vector<UserRecord>& Users() const { return m_users; }
    std::vector<PresetList>& Presets() { return m_presets; }
    const std::vector<PresetList>& Presets() const { return m_presets; }
    std::vector<ParamLimits>& Params() { return m_params; }
    const std::vector<ParamLimits>& Params() const { return m_params; }
    const std::string& UpgradePriority() const { return m_upgrade; }
    void SetUpgradePriority(const std::string& priority) { m_upgrade = priority; }

private:
    std::vector<UserRecord> m_users;
    std::vector<PresetList> m_presets;
    std::vector<ParamLimits> m_params;
    std::string m_upgrade;
};

} // namespace mgmt
