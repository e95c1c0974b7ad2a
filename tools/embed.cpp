// vexil embed PLAYER MOVIE -o OUT [--switches "..."]: a copy of the player
// with the movie appended and its default command patched to play it, so
// that OUT plays its own movie (the colon source ":<offset>"), with the
// switches given as its defaults.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/movie.h"
#include "player/command_text.h"
#include "player/default_command.h"
#include "tools/commands.h"

namespace vexil::tools {
namespace {

constexpr const char kUsage[] = "usage: vexil embed PLAYER MOVIE -o OUT [--switches \"...\"]\n";

bool ReadWhole(const char* path, std::vector<uint8_t>* bytes) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  bytes->clear();
  uint8_t chunk[1 << 16];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    bytes->insert(bytes->end(), chunk, chunk + n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

int RunEmbed(int argc, char** argv) {
  const char* player = nullptr;
  const char* movie = nullptr;
  const char* out = nullptr;
  std::string switches;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      out = argv[++i];
    } else if (std::strcmp(argv[i], "--switches") == 0 && i + 1 < argc) {
      switches = argv[++i];
    } else if (!player) {
      player = argv[i];
    } else if (!movie) {
      movie = argv[i];
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (!player || !movie || !out) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  // The movie must be one the player can play.
  Engine engine;
  ErrorText error;
  MovieHandle* check = Open(engine, MovieSource::Name(movie),
                            OPEN_NO_PLANES | OPEN_NO_FILL | OPEN_NO_THREAD_READ, {}, &error);
  if (!check) {
    std::fprintf(stderr, "vexil: %s: %s\n", movie, error.c_str());
    return 1;
  }
  Close(check);

  std::vector<uint8_t> program, movie_bytes;
  if (!ReadWhole(player, &program)) {
    std::fprintf(stderr, "vexil: cannot read %s\n", player);
    return 1;
  }
  if (!ReadWhole(movie, &movie_bytes)) {
    std::fprintf(stderr, "vexil: cannot read %s\n", movie);
    return 1;
  }
  if (FindDefaultCommandBlock(program.data(), program.size()).offset < 0) {
    std::fprintf(stderr, "vexil: %s is not a player with a default command block\n", player);
    return 1;
  }
  // A player that carries a movie already: its block is taken over, the old
  // movie stays behind as dead bytes.
  std::string command(1, ':');
  command += std::to_string(program.size());
  if (!switches.empty()) {
    command += ' ';
    command += switches;
  }
  if (command.find('~') != std::string::npos || command.find('\0') != std::string::npos ||
      !WriteDefaultCommandBlock(program.data(), program.size(), command)) {
    std::fprintf(stderr,
                 "vexil: the switches do not fit the default command (at most %zu characters, "
                 "no '~')\n",
                 kCommandTextLimit - (command.size() - switches.size()));
    return 1;
  }
  program.insert(program.end(), movie_bytes.begin(), movie_bytes.end());

  FILE* f = std::fopen(out, "wb");
  if (!f || std::fwrite(program.data(), 1, program.size(), f) != program.size()) {
    if (f) std::fclose(f);
    std::fprintf(stderr, "vexil: cannot write %s\n", out);
    return 1;
  }
  if (std::fclose(f) != 0) {
    std::fprintf(stderr, "vexil: cannot write %s\n", out);
    return 1;
  }
  // Runnable like the player it came from.
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::perms mode = fs::status(player, ec).permissions();
  fs::permissions(out,
                  (ec ? fs::perms::owner_all : mode) | fs::perms::owner_read |
                      fs::perms::owner_write | fs::perms::owner_exec,
                  ec);
  return 0;
}

const CommandRegistration kEmbed{
    {"embed", "PLAYER MOVIE -o OUT [--switches \"...\"]  a player that plays its own movie",
     RunEmbed}};

}  // namespace
}  // namespace vexil::tools
