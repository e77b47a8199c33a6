#include "platform/AccessGroup.h"

#include <cerrno>
#include <grp.h>
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

} // namespace platform
