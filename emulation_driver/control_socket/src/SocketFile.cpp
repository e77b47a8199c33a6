#include "SocketFile.h"

#include "platform/AccessGroup.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace quellin::ctlsock {

namespace {

std::string errno_text(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool make_address(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Opens the folder `folder`, making each missing part with mode 0755. A part made here
// is opened without following a link and must belong to this process's user.
int open_folder(const std::filesystem::path& folder, std::string& error) {
    int dir = ::open(folder.is_absolute() ? "/" : ".", O_DIRECTORY | O_RDONLY | O_CLOEXEC);
    if (dir < 0) {
        error = errno_text("open " + folder.root_path().string());
        return -1;
    }
    std::filesystem::path walked = folder.is_absolute() ? "/" : "";
    for (const auto& part : folder.relative_path()) {
        walked /= part;
        const std::string name = part.string();
        if (name.empty() || name == ".")
            continue;
        bool made = false;
        if (::mkdirat(dir, name.c_str(), kFolderMode) == 0)
            made = true;
        else if (errno != EEXIST) {
            error = errno_text("cannot make " + walked.string());
            ::close(dir);
            return -1;
        }
        const int flags = O_DIRECTORY | O_RDONLY | O_CLOEXEC | (made ? O_NOFOLLOW : 0);
        const int next = ::openat(dir, name.c_str(), flags);
        ::close(dir);
        if (next < 0) {
            error = errno_text("open " + walked.string());
            return -1;
        }
        dir = next;
        if (!made)
            continue;
        struct stat st;
        if (::fstat(dir, &st) != 0 || st.st_uid != ::geteuid() || ::fchmod(dir, kFolderMode) != 0) {
            error = walked.string() + " was replaced while it was made";
            ::close(dir);
            return -1;
        }
    }
    return dir;
}

// A socket file nobody listens on is left over from an earlier run.
bool is_stale_socket(const sockaddr_un& addr) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool live = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return !live;
}

} // namespace

SocketFile::~SocketFile() {
    if (m_folder >= 0)
        ::close(m_folder);
}

bool SocketFile::bind(int fd, const std::string& path, std::string& error) {
    sockaddr_un addr;
    const std::filesystem::path p(path);
    if (!make_address(path, addr) || !p.has_filename()) {
        error = "bad socket path '" + path + "'";
        return false;
    }
    remove();
    const int folder = open_folder(p.parent_path(), error);
    if (folder < 0)
        return false;
    const std::string name = p.filename().string();
    // Until the bind succeeds the name is not ours: a failure leaves whatever is there.
    auto fail = [&](const std::string& text) {
        error = text;
        ::close(folder);
        return false;
    };

    struct stat st;
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISSOCK(st.st_mode) || !is_stale_socket(addr))
            return fail(path + " is in use");
        ::unlinkat(folder, name.c_str(), 0);
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        return fail(errno_text("bind " + path));
    m_folder = folder;
    m_name = name;
    // The socket just made, found through its folder and never through a link: nothing
    // else may take its mode.
    if (::fstatat(m_folder, m_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISSOCK(st.st_mode) || st.st_uid != ::geteuid() ||
        ::fchmodat(m_folder, m_name.c_str(), kSocketMode, AT_SYMLINK_NOFOLLOW) != 0) {
        error = errno_text("cannot set the mode of " + path);
        remove();
        return false;
    }
    // The access group's members use the daemon. Only root may give the socket to a group
    // it is not in; a daemon of another user keeps its own group.
    if (const auto group = platform::access_group_id();
        group &&
        ::fchownat(m_folder, m_name.c_str(), static_cast<uid_t>(-1), *group, AT_SYMLINK_NOFOLLOW) !=
            0 &&
        ::geteuid() == 0) {
        error = errno_text("cannot give " + path + " to the group " + platform::kAccessGroupName);
        remove();
        return false;
    }
    return true;
}

void SocketFile::remove() {
    if (m_folder < 0)
        return;
    struct stat st;
    if (::fstatat(m_folder, m_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISSOCK(st.st_mode))
        ::unlinkat(m_folder, m_name.c_str(), 0);
    ::close(m_folder);
    m_folder = -1;
    m_name.clear();
}

} // namespace quellin::ctlsock
