#include "MgmtServer/AccountStore.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace mgmt {

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    return fields;
}

bool HasBadCharacter(const std::string& field) {
    return field.find_first_of("\t\r\n") != std::string::npos;
}

} // namespace

AccountStore::AccountStore() : m_upgrade("NOT") {
    m_presets = {{"LATENCY", {"10", "30", "80", "150", "300"}},
                 {"PACKETLOSS", {"0.5", "1", "3", "6", "10"}},
                 {"BANDWIDTH", {"10000", "2048", "512", "256", "128"}}};
    m_params = {{"USER_NAME_LENGTH", "3", "20"}, {"PASSWORD_LENGTH", "4", "20"}};
}

bool AccountStore::Load(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "Cannot read " + path;
        return false;
    }
    AccountStore loaded;
    loaded.m_users.clear();
    loaded.m_presets.clear();
    loaded.m_params.clear();
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> f = SplitTabs(line);
        const std::string& kind = f[0];
        if (kind == "user" && f.size() == 5) {
            if (!loaded.AddUser({f[1], f[2], f[3], f[4]})) {
                error = path + ":" + std::to_string(number) + ": duplicate or empty user";
                return false;
            }
        } else if (kind == "preset" && f.size() >= 2) {
            loaded.m_presets.push_back({f[1], std::vector<std::string>(f.begin() + 2, f.end())});
        } else if (kind == "param" && f.size() == 4) {
            loaded.m_params.push_back({f[1], f[2], f[3]});
        } else if (kind == "upgrade" && f.size() == 2) {
            loaded.m_upgrade = f[1];
        } else {
            error = path + ":" + std::to_string(number) + ": malformed line";
            return false;
        }
    }
    *this = std::move(loaded);
    return true;
}

bool AccountStore::Save(const std::string& path, std::string& error) const {
    std::ostringstream out;
    out << "# Management-server stand-in: users, presets, limits, upgrade priority.\n";
    for (const UserRecord& u : m_users)
        out << "user\t" << u.name << '\t' << u.password << '\t' << u.account << '\t' << u.email
            << '\n';
    for (const PresetList& p : m_presets) {
        out << "preset\t" << p.type;
        for (const std::string& v : p.values)
            out << '\t' << v;
        out << '\n';
    }
    for (const ParamLimits& p : m_params)
        out << "param\t" << p.element << '\t' << p.min << '\t' << p.max << '\n';
    out << "upgrade\t" << m_upgrade << '\n';

    std::string temp = path + ".tmp";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        file << out.str();
        file.flush();
        if (!file) {
            error = "Cannot write " + temp;
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = "Cannot replace " + path;
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

const UserRecord* AccountStore::FindUser(const std::string& name) const {
    for (const UserRecord& u : m_users)
        if (u.name == name)
            return &u;
    return nullptr;
}

bool AccountStore::AddUser(const UserRecord& user) {
    if (user.name.empty() || FindUser(user.name) || HasBadCharacter(user.name) ||
        HasBadCharacter(user.password) || HasBadCharacter(user.account) ||
        HasBadCharacter(user.email))
        return false;
    m_users.push_back(user);
    return true;
}

bool AccountStore::SetPassword(const std::string& name, const std::string& password) {
    if (HasBadCharacter(password))
        return false;
    for (UserRecord& u : m_users)
        if (u.name == name) {
            u.password = password;
            return true;
        }
    return false;
}

} // namespace mgmt
