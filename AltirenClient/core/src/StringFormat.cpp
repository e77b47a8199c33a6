#include "AltirenClient/StringFormat.h"
#include "AltirenClient/StringTable.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

std::string FormatClientString(UINT id, ...) {
    const char* format = GetClientString(id);
    if (!format)
        return std::string();
    va_list args;
    va_start(args, id);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}
