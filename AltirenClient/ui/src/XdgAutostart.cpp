#include "AltirenUi/XdgAutostart.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// An argument of the Exec key: quoted, with the characters the quoting reserves escaped,
// and the backslashes doubled again for the key's own escapes.
std::string QuotedExecArgument(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '`' || c == '$')
            quoted += "\\";
        else if (c == '\\')
            quoted += "\\\\\\";
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

std::string CXdgAutostart::EntryPath() {
    fs::path config;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg && fs::path(xdg).is_absolute()) {
        config = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home)
            return {};
        config = fs::path(home) / ".config";
    }
    return (config / "autostart" / kFileName).string();
}

std::string CXdgAutostart::EntryText(const std::string& program) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Pramitone\n"
           "Exec=" +
           QuotedExecArgument(program) +
           " NO_SPLASH\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool CXdgAutostart::Write(const std::string& program) {
    const std::string path = EntryPath();
    if (path.empty() || program.empty())
        return false;
    std::error_code error;
    fs::create_directories(fs::path(path).parent_path(), error);
    if (error)
        return false;
    const std::string temporary = path + ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << EntryText(program);
        out.close();
        if (!out) {
            fs::remove(temporary, error);
            return false;
        }
    }
    fs::rename(temporary, path, error);
    if (error) {
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

bool CXdgAutostart::Remove() {
    const std::string path = EntryPath();
    if (path.empty())
        return true;
    std::error_code error;
    fs::remove(path, error);
    return !fs::exists(path, error);
}

bool CXdgAutostart::Exists() {
    const std::string path = EntryPath();
    std::error_code error;
    return !path.empty() && fs::exists(path, error);
}
