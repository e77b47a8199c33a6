// Shared steps of the document targets: the XML platform started once, the input as a
// zero-terminated text, and the check that a parser's own text reads back to the same
// text.
#pragma once

#include "FuzzInput.h"

#include "Fendrel/FendrelUtils.h"
#include "Fendrel/NxTypes.h"

#include <cstring>
#include <string>

namespace fuzz {

inline void StartXml() {
    static const bool started = XMLInitModule();
    if (!started)
        Fail("the XML platform did not start");
}

// A leading byte 0x01 asks for validation against the DTD (and is not part of the text),
// so that a plain document is an input as it stands.
inline bool Validate(const uint8_t* data, size_t size, Input& in) {
    if (size == 0 || data[0] != 0x01)
        return false;
    in.u8();
    return true;
}

// The text of the input up to its first zero byte, as a caller's string would hold it.
inline std::string Text(Input& in) {
    std::string text = in.text(in.remaining());
    text.resize(std::strlen(text.c_str()));
    return text;
}

inline std::string Str(SHString& s) {
    const char* text = s.GetString();
    return text ? text : "";
}

// GetXML of a parsed object, parsed again into a fresh object without validation, must
// give the same text: what a parser writes, it reads.
template <class Parser, class Setup>
void CheckRewrite(Parser& parsed, Setup setup) {
    SHString written;
    if (parsed.GetXML(written) != NX_SUCCESS)
        return;
    Parser again;
    setup(again);
    if (again.Parse(written.GetString(), false) != NX_SUCCESS)
        Fail("a parser's own text does not parse");
    SHString rewritten;
    if (again.GetXML(rewritten) != NX_SUCCESS || Str(rewritten) != Str(written))
        Fail("a parser's own text, read again, writes other text");
}

} // namespace fuzz
