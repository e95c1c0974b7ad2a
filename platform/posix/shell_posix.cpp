#include <spawn.h>
#include <sys/wait.h>

#include "platform/shell.h"

extern char** environ;

namespace vexil::platform {

void SystemShellOpen(const std::string& address) {
  // A shell puts xdg-open in the background and ends at once, so the player
  // neither waits for the browser nor leaves a child behind. The address is
  // an argument of the shell, never part of its command text.
  const char* argv[] = {"sh",   "-c", "xdg-open \"$1\" >/dev/null 2>&1 &", "sh", address.c_str(),
                        nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) == 0)
    waitpid(pid, nullptr, 0);
}

}  // namespace vexil::platform
