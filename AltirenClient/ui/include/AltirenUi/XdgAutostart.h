// The desktop session's autostart entry of the client: "pramitone.desktop" in the
// "autostart" folder of $XDG_CONFIG_HOME (~/.config when that is unset, empty or not an
// absolute path).
#pragma once

#include <string>

class CXdgAutostart {
public:
    static constexpr const char* kFileName = "pramitone.desktop";

    // The entry's path; empty when neither XDG_CONFIG_HOME nor HOME gives a folder.
    static std::string EntryPath();
    // Writes the entry that starts program with NO_SPLASH (the folder is made when
    // missing; the file is replaced whole).
    static bool Write(const std::string& program);
    // Removes the entry; true when none is left.
    static bool Remove();
    static bool Exists();
    // The entry's text for program.
    static std::string EntryText(const std::string& program);
};
