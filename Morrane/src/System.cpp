#include "Morrane/System.h"

#include <cerrno>
#include <cstring>
#include <ctime>

unsigned int CSystem::geterr() {
    return static_cast<unsigned int>(errno);
}

std::string CSystem::geterr_str(unsigned int code) {
    char buffer[256] = {};
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    return text ? std::string(text) : std::string();
}

void CSystem::msleep(unsigned int ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
    }
}
