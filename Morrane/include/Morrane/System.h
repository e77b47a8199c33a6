// System error text and sleeping.
#pragma once

#include <string>

class CSystem {
public:
    // The calling thread's last system error (errno).
    static unsigned int geterr();
    // The system's message text for an error code.
    static std::string geterr_str(unsigned int code);
    static void msleep(unsigned int ms);
};
