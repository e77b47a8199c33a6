#include "QuellinEdges/Namespaces.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quellin::edges {

namespace {

std::string path_of(const std::string& name) {
    return std::string(kNetnsFolder) + "/" + name;
}

bool valid_name(const std::string& name) {
    return !name.empty() && name.size() < 200 && name.find('/') == std::string::npos &&
           name != "." && name != "..";
}

// The folder as `ip netns` makes it: a mount point of its own, shared, so that the mounts
// below it reach other mount namespaces.
bool prepare_folder() {
    if (::mkdir(kNetnsFolder, 0755) != 0 && errno != EEXIST)
        return false;
    if (::mount("", kNetnsFolder, "none", MS_SHARED | MS_REC, nullptr) == 0)
        return true;
    if (errno != EINVAL)
        return false;
    if (::mount(kNetnsFolder, kNetnsFolder, "none", MS_BIND | MS_REC, nullptr) != 0)
        return false;
    return ::mount("", kNetnsFolder, "none", MS_SHARED | MS_REC, nullptr) == 0;
}

uint64_t inode_of(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 ? static_cast<uint64_t>(st.st_ino) : 0;
}

} // namespace

int create_named_netns(const std::string& name) {
    if (!valid_name(name)) {
        errno = EINVAL;
        return -1;
    }
    if (!prepare_folder())
        return -1;
    const std::string path = path_of(name);
    const int marker = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0);
    if (marker < 0)
        return -1;
    ::close(marker);
    const int home = open_current_netns();
    if (home < 0) {
        const int e = errno;
        ::unlink(path.c_str());
        errno = e;
        return -1;
    }
    int result = -1;
    int error = 0;
    if (::unshare(CLONE_NEWNET) != 0) {
        error = errno;
    } else {
        if (::mount("/proc/thread-self/ns/net", path.c_str(), "none", MS_BIND, nullptr) != 0)
            error = errno;
        if (::setns(home, CLONE_NEWNET) != 0)
            std::abort(); // going on in the new namespace would aim everything at it
        if (error == 0) {
            result = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (result < 0)
                error = errno;
        }
    }
    ::close(home);
    if (result < 0) {
        ::umount2(path.c_str(), MNT_DETACH);
        ::unlink(path.c_str());
        errno = error;
    }
    return result;
}

int open_named_netns(const std::string& name) {
    if (!valid_name(name)) {
        errno = EINVAL;
        return -1;
    }
    return ::open(path_of(name).c_str(), O_RDONLY | O_CLOEXEC);
}

bool delete_named_netns(const std::string& name) {
    if (!valid_name(name))
        return false;
    const std::string path = path_of(name);
    ::umount2(path.c_str(), MNT_DETACH);
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

int open_current_netns() {
    return ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
}

uint64_t current_netns_id() {
    return inode_of("/proc/thread-self/ns/net");
}

std::optional<HoldingNamespace> holding_namespace(const std::string& interface,
                                                  const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return std::nullopt;
    std::optional<HoldingNamespace> found;
    const std::string prefix = "quellin-", suffix = "-" + interface;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string digits =
            name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        // A daemon of another network namespace holds an interface of that namespace.
        const long pid = std::stol(digits);
        const std::string stationOf = "/proc/" + digits + "/ns/net";
        if (pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) &&
            inode_of(stationOf.c_str()) == current_netns_id()) {
            found = HoldingNamespace{name, pid};
            break;
        }
    }
    ::closedir(dir);
    return found;
}

MountNamespaceCheck check_mount_namespace(const std::string& self, const std::string& init) {
    MountNamespaceCheck check;
    struct stat mine, first;
    auto read = [&](const std::string& path, struct stat& st) {
        if (::stat(path.c_str(), &st) == 0)
            return true;
        check.unread = path + ": " + std::strerror(errno);
        return false;
    };
    if (!read(self, mine) || !read(init, first))
        return check;
    check.match = mine.st_dev == first.st_dev && mine.st_ino == first.st_ino
                      ? MountNamespaceMatch::Shared
                      : MountNamespaceMatch::Private;
    return check;
}

std::string mount_namespace_warning(const MountNamespaceCheck& check, const std::string& lower) {
    const std::string risk = "the network namespace that holds " + lower +
                             " lasts only as long as a process of this mount namespace does, "
                             "and a crash of the last one may lose a virtual interface";
    switch (check.match) {
    case MountNamespaceMatch::Shared:
        return "";
    case MountNamespaceMatch::Private:
        return "this process is not in the mount namespace of process 1: " + risk;
    case MountNamespaceMatch::Unknown:
        break;
    }
    return "whether this process is in the mount namespace of process 1 is not known (" +
           check.unread + "); if it is not, " + risk;
}

NetnsScope::NetnsScope(int netnsFd) {
    m_home = open_current_netns();
    if (m_home < 0 || netnsFd < 0)
        return;
    m_entered = ::setns(netnsFd, CLONE_NEWNET) == 0;
}

NetnsScope::~NetnsScope() {
    if (m_entered && ::setns(m_home, CLONE_NEWNET) != 0) {
        std::fputs("quellin: cannot return to the station's network namespace\n", stderr);
        std::abort();
    }
    if (m_home >= 0)
        ::close(m_home);
}

} // namespace quellin::edges
