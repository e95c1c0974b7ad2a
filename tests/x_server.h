// A private X server (Xvfb, 1024 x 768 x 24) for tests that open real
// windows, on a free display number away from the usual ones. POSIX only.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "test_util.h"

namespace vexil {

// RGB pixels, three bytes each, rows top to bottom.
struct Picture {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* At(int32_t x, int32_t y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};

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

  // A rectangle of the screen (taken as PPM, which needs no decoder); also
  // kept as `name`.png in VEXIL_SCREENSHOTS when that names a folder. Empty
  // when it cannot be taken.
  Picture Screenshot(int32_t x, int32_t y, int32_t width, int32_t height,
                     const std::string& name) const {
    test::TempFile file("shot.ppm");
    char crop[64];
    std::snprintf(crop, sizeof crop, "%dx%d+%d+%d", width, height, x, y);
    const std::string import =
        "DISPLAY=" + display_ + " import -window root -crop " + crop + " +repage ";
    Picture p;
    if (std::system((import + "-depth 8 ppm:" + file.path() + " 2>/dev/null").c_str()) != 0)
      return p;
    if (const char* keep = std::getenv("VEXIL_SCREENSHOTS"))
      (void)std::system((import + keep + "/" + name + ".png 2>/dev/null").c_str());
    const std::vector<uint8_t> bytes = test::ReadFileBytes(file.path());
    int w = 0, h = 0, max = 0, consumed = 0;
    if (bytes.empty() ||
        std::sscanf(reinterpret_cast<const char*>(bytes.data()), "P6 %d %d %d%n", &w, &h, &max,
                    &consumed) != 3 ||
        max != 255)
      return p;
    const size_t start = size_t(consumed) + 1;
    if (bytes.size() < start + size_t(w) * h * 3) return p;
    p.width = w, p.height = h;
    p.rgb.assign(bytes.begin() + start, bytes.begin() + start + size_t(w) * h * 3);
    return p;
  }

 private:
  int first_number_;
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace vexil
