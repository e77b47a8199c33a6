#include "AltirenClient/MessageCoder.h"

#include <sys/statvfs.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

std::atomic<uint32_t (*)()> g_source{nullptr};

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ReadMachineId(const char* path, uint32_t& serial) {
    FILE* f = path ? std::fopen(path, "r") : nullptr;
    if (!f)
        return false;
    char text[8];
    size_t got = std::fread(text, 1, sizeof text, f);
    std::fclose(f);
    if (got != sizeof text)
        return false;
    uint32_t v = 0;
    for (char c : text) {
        int d = HexDigit(c);
        if (d < 0)
            return false;
        v = (v << 4) | uint32_t(d);
    }
    serial = v;
    return true;
}

} // namespace

uint32_t MessageCoder::ReadVolumeSerial(const char* machineIdPath, const char* rootPath) {
    uint32_t serial = 0;
    if (ReadMachineId(machineIdPath, serial))
        return serial;
    struct statvfs fs;
    if (rootPath && statvfs(rootPath, &fs) == 0)
        return static_cast<uint32_t>(fs.f_fsid);
    return 0;
}

uint32_t MessageCoder::GetVolumeSerial() {
    if (auto source = g_source.load())
        return source();
    return ReadVolumeSerial("/etc/machine-id", "/");
}

void MessageCoder::SetVolumeSerialSource(uint32_t (*source)()) {
    g_source.store(source);
}
