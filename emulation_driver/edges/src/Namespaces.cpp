#include "QuellinEdges/Namespaces.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

bool in_init_mount_namespace() {
    const uint64_t mine = inode_of("/proc/self/ns/mnt");
    return mine != 0 && mine == inode_of("/proc/1/ns/mnt");
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
