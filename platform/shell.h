// The shell's "open" of a web address: the user's browser shows the page.
// The headless back end only records what would have been opened.
//
// Player thread only.
#pragma once

#include <string>
#include <vector>

namespace vexil::platform {

// Opens `address` in the user's browser without waiting for it.
void ShellOpen(const std::string& address);

// The addresses the headless back end was asked to open, oldest first.
const std::vector<std::string>& HeadlessOpenedAddresses();
void ClearHeadlessOpenedAddresses();

// The system's part of ShellOpen (each system's file provides it).
void SystemShellOpen(const std::string& address);

}  // namespace vexil::platform
