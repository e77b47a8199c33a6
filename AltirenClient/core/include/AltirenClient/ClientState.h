// Process-wide state of the running client that start-up, the on-line probe and the
// server proxy share. Safe to use from any thread.
#pragma once

#include <string>

namespace ClientState {

// Whether the management server is taken to be reachable (true until a request
// fails or the probe finds it gone); while false every server request is answered
// from the offline table.
bool IsServerOnline();
void SetServerOnline(bool online);

// The address of the network adapter that start-up chose; empty when none was.
std::string GetChosenAdapterAddress();
void SetChosenAdapterAddress(const std::string& address);

} // namespace ClientState
