// The registry store's hive files, as a person may edit them or damage may leave them:
// any text through the hive parser, and what it read written and read again, which must
// give the same keys and values (a write of what was read reads back the same).
#include "common/FuzzInput.h"

#include "HiveFile.h"

#include <string>

using namespace platform::registry::detail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    // A leading byte 0x01 names the user hive (and is not part of the text).
    const bool user = size > 0 && data[0] == 0x01;
    if (user)
        in.u8();
    const char* name = user ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
    const std::string text = in.text(in.remaining());
    HiveData hive;
    std::string error;
    if (!parse_hive_text(name, text, hive, error)) {
        if (error.empty())
            fuzz::Fail("a refused hive gives no reason");
        return 0;
    }
    const std::string written = format_hive(name, hive);
    HiveData again;
    if (!parse_hive_text(name, written, again, error))
        fuzz::Fail("a hive the store wrote does not read back");
    if (!same_hive(hive, again))
        fuzz::Fail("a hive the store wrote reads back other keys or values");
    if (format_hive(name, again) != written)
        fuzz::Fail("a hive read back writes other text");
    return 0;
}
