// The proxy's XML: escaping request values and reading a reply's root attributes.
#pragma once

#include <map>
#include <string>

namespace proxyxml {

// & " ' < > as entities, so a value stays inside its quoted attribute.
std::string Escape(const std::string& value);

// Parses the text without validation or external entities and reads the attributes
// of the root element, whatever its name.
bool ReadRootAttributes(const std::string& text, std::map<std::string, std::string>& attributes);

} // namespace proxyxml
