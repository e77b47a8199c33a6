// Context help: the help topic of a control id, and the addresses of the help pages.
#pragma once

#include "AltirenClient/Resource.h"

#include <string>

namespace HelpTopics {

// The topic of the control; empty when it has none.
std::string TopicFor(UINT controlId);

// The help index "file:///<folder>/index.htm", and a topic's address, the index with
// "?context=AltirenClient&topic=<topic>". A folder given as an absolute path keeps a
// single slash after "file://".
std::string IndexUrl(const std::string& helpFolder);
std::string TopicUrl(const std::string& helpFolder, const std::string& topic);
// The page the index routes a topic to, "<folder>/<topic>.htm": what the desktop is given,
// since its opener drops the query of a file address.
std::string TopicPageUrl(const std::string& helpFolder, const std::string& topic);

} // namespace HelpTopics
