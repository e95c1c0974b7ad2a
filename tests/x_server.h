// A private X server (Xvfb, 1024 x 768 x 24) for tests that open real
// windows, on a free display number away from the usual ones. POSIX only.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace vexil {

class XServer {
 public:
  // `first_number`: where the search for a free display number starts, so
  // that test programs running side by side pick different ones.
  explicit XServer(int first_number) : first_number_(first_number) {}
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  ~XServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }

  // Empty when the server runs, else why it does not.
  std::string Start() {
    for (int attempt = 0; attempt < 10; ++attempt) {
      const int number = first_number_ + (int(getpid()) + 41 * attempt) % 300;
      char display[16], socket[48];
      std::snprintf(display, sizeof display, ":%d", number);
      std::snprintf(socket, sizeof socket, "/tmp/.X11-unix/X%d", number);
      if (access(socket, F_OK) == 0) continue;
      const pid_t pid = fork();
      if (pid < 0) return "cannot fork";
      if (pid == 0) {
        std::freopen("/dev/null", "w", stderr);
        execlp("Xvfb", "Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
      }
      for (int i = 0; i < 100; ++i) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
          if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return "Xvfb is not installed";
          break;  // the number was taken
        }
        if (access(socket, F_OK) == 0) {
          pid_ = pid;
          display_ = display;
          return "";
        }
        usleep(50000);
      }
      if (pid_ != pid) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
      }
    }
    return "Xvfb did not start";
  }
  const std::string& display() const { return display_; }

 private:
  int first_number_;
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace vexil
