#include "platform/AccessGroup.h"

#include <algorithm>
#include <cerrno>
#include <grp.h>
#include <unistd.h>
#include <vector>

namespace platform {

std::optional<gid_t> access_group_id() {
    std::vector<char> buffer(4096);
    for (;;) {
        group entry{};
        group* found = nullptr;
        const int rc = ::getgrnam_r(kAccessGroupName, &entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 4);
            continue;
        }
        if (rc != 0 || !found)
            return std::nullopt;
        return found->gr_gid;
    }
}

std::string access_group_advice() {
    return std::string("root and the group ") + kAccessGroupName + " (usermod -aG " +
           kAccessGroupName + " USER, then log in again)";
}

bool outside_access_group() {
    const auto group = access_group_id();
    if (!group || ::geteuid() == 0 || ::getegid() == *group)
        return false;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return true;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int n = ::getgroups(count, groups.data());
    return std::find(groups.begin(), groups.begin() + std::max(n, 0), *group) ==
           groups.begin() + std::max(n, 0);
}

} // namespace platform
