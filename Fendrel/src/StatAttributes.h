// Reading root attributes one after the other, stopping at the first that fails.
#pragma once

#include "Fendrel/NxTypes.h"

#include <initializer_list>
#include <utility>

namespace fendrel {

using AttrTarget = std::pair<const char*, SHString*>;

// `read(name, value)` reads one attribute; its first failing result is returned and
// the outputs before it keep their new values.
template <class Read>
NX_RC ReadInSequence(std::initializer_list<AttrTarget> attributes, Read&& read) {
    for (const AttrTarget& attribute : attributes) {
        NX_RC rc = read(attribute.first, *attribute.second);
        if (rc != NX_SUCCESS)
            return rc;
    }
    return NX_SUCCESS;
}

} // namespace fendrel

// Inside a member of a parser class: the getter reads through GetDocAttribute.
#define NX_READ_ROOT_IN_SEQUENCE(...)                                                              \
    ::fendrel::ReadInSequence({__VA_ARGS__}, [this](const char* attr, SHString& value) {           \
        return GetDocAttribute(attr, value);                                                       \
    })
