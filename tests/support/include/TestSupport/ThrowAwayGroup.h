// The access group made for one test process only: a copy of /etc/group with the group
// added is mounted over the real one in a mount namespace of the process's own, which its
// children share, with ids that nobody uses: the group, a member of it and an outsider.
// Nothing of the machine changes.
#pragma once

#include "platform/AccessGroup.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

class ThrowAwayGroup {
public:
    // Makes the group, its copy of the group file kept in `folder`; false with the reason
    // when this process cannot (not root, no mount namespace, a group database that does
    // not read /etc/group).
    bool make(const std::string& folder, std::string& why) {
        if (::geteuid() != 0) {
            why = "needs root: it makes a group and changes user";
            return false;
        }
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            why = std::string("no mount namespace of its own: ") + std::strerror(errno);
            return false;
        }
        group = unused_id(61000);
        member = unused_id(group + 1);
        outsider = unused_id(member + 1);
        const std::string copy = folder + "/group";
        {
            std::ifstream in("/etc/group");
            std::ofstream out(copy);
            out << in.rdbuf() << platform::kAccessGroupName << ":x:" << group << ":" << member
                << "\n";
        }
        if (::mount(copy.c_str(), "/etc/group", nullptr, MS_BIND, nullptr) != 0) {
            why = std::string("cannot mount a group file: ") + std::strerror(errno);
            return false;
        }
        if (platform::access_group_id() != static_cast<gid_t>(group)) {
            why = "the group database does not read /etc/group";
            return false;
        }
        return true;
    }

    // The command prefix that runs a program as the member (the group among its
    // supplementary groups, as after a log-in) or as the outsider.
    std::vector<std::string> as_member() const {
        return {"setpriv", "--reuid=" + std::to_string(member), "--regid=" + std::to_string(member),
                "--groups=" + std::to_string(group), "--"};
    }

    unsigned group = 0, member = 0, outsider = 0;

private:
    static unsigned unused_id(unsigned from) {
        while (::getpwuid(from) || ::getgrgid(from))
            ++from;
        return from;
    }
};

} // namespace testsupport
