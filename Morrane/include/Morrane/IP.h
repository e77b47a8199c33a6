// IPv4 and IPv6 text conversions.
#pragma once

#include "Morrane/SObject.h"

class CIP : public CSObject {
public:
    CIP() : CSObject(nullptr, "CSObject") {}

    // "%d.%d.%d.%d" of the four bytes in memory order, into a buffer of the
    // calling thread, valid until its next call.
    static const char* Format(unsigned address);
    // The same into the caller's buffer (at least 16 characters).
    static const char* Format(unsigned address, char* buffer);

    // Four numbers of 0 to 255 separated by dots, stored in that byte order.
    static bool ConvertStringIPToIP(const char* text, unsigned& address);

    // Strict IPv4 text: digits and dots, four parts, each at most 255. The
    // address is in network byte order.
    static bool inet_addr(const char* text, unsigned long& address);
    // IPv6 text into 8 sixteen-bit words (host order). count must be 8; otherwise
    // it is set to 8 and the result is false.
    static bool inet_addr(const char* text, unsigned short* words, unsigned& count);

    // Text forms. When the buffer is given and the text is shorter than length,
    // the buffer is cleared, the text copied, length set to the text's length
    // and the result is true; otherwise length is set to the space the text needs
    // (with its terminator) and the result is false.
    static bool inet_ntoa(unsigned long address, char* buffer, unsigned& length);
    static bool inet_ntoa(const unsigned short* words, char* buffer, unsigned& length);
};
