// The control socket's file: its folders, a stale socket left by an earlier run, the bind
// and the mode. Modes are set explicitly, whatever the umask, and through the folder the
// socket was made in, so no path another user could replace is followed.
#pragma once

#include <string>

namespace quellin::ctlsock {

inline constexpr unsigned kFolderMode = 0755;
inline constexpr unsigned kSocketMode = 0660;

class SocketFile {
public:
    SocketFile() = default;
    ~SocketFile(); // closes the folder; the socket stays
    SocketFile(const SocketFile&) = delete;
    SocketFile& operator=(const SocketFile&) = delete;

    // Makes the missing folders of `path` (mode 0755), replaces a stale socket there (a
    // live one, or anything else, is refused), binds `fd` to `path` and gives the socket
    // mode 0660 and, where it exists, the access group (platform/AccessGroup.h). false with
    // a message in `error`.
    bool bind(int fd, const std::string& path, std::string& error);
    // Removes the socket when a socket is still at its name; closes the folder.
    void remove();

private:
    int m_folder = -1;
    std::string m_name;
};

} // namespace quellin::ctlsock
