// vexil embed PLAYER MOVIE -o OUT [--switches "..."]: a copy of the player
// with the movie appended and its default command patched to play it, so
// that OUT plays its own movie (the colon source ":<offset>"), with the
// switches given as its defaults.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/command_block.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/movie_input.h"
#include "tools/stream_files.h"

namespace vexil::tools {
namespace {

int RunEmbed(const Command& command, int argc, char** argv) {
  ArgumentReader args(command, argc, argv);
  std::vector<std::string> inputs;
  std::string out, switches;
  while (args.Next()) {
    if (!args.File("-o", &out) && !args.Value("--switches", &switches) && !args.Positional(&inputs))
      args.Unknown();
  }
  if (args.ended()) return args.exit_code();
  if (inputs.size() != 2) return args.UsageError("give the player and the movie");
  if (out.empty()) return args.UsageError("no output given (-o OUT)");
  const std::string& player = inputs[0];
  const std::string& movie = inputs[1];
  if (std::string clash =
          StandardStreamClash({{"the player", player}, {"the movie", movie}}, "standard input");
      !clash.empty())
    return args.UsageError(clash);

  // The movie must be one the player can play.
  vexil_open_options options;
  vexil_open_options_init(&options);
  options.flags = VEXIL_OPEN_NO_VIDEO;
  MovieInput check;
  if (!check.Open(movie, options)) return kExitFailure;
  std::vector<uint8_t> program,
      movie_bytes(check.standard_input().begin(), check.standard_input().end());
  std::string error;
  if (!IsStandardStream(movie) && !ReadWholeInput(movie, &movie_bytes, &error))
    return FileFailure(InputName(movie), error);
  if (!ReadWholeInput(player, &program, &error)) return FileFailure(InputName(player), error);
  if (platform::FindDefaultCommandBlock(program.data(), program.size()).offset < 0)
    return FileFailure(InputName(player), "not a player with a default command block");
  // A player that carries a movie already: its block is taken over, the old
  // movie stays behind as dead bytes.
  std::string command_text(1, ':');
  command_text += std::to_string(program.size());
  if (!switches.empty()) {
    command_text += ' ';
    command_text += switches;
  }
  if (command_text.find('~') != std::string::npos || command_text.find('\0') != std::string::npos ||
      !platform::WriteDefaultCommandBlock(program.data(), program.size(), command_text)) {
    return CommandFailure(
        command, "the switches do not fit the default command (at most " +
                     std::to_string(platform::kDefaultCommandBlockSize - 1 -
                                    (command_text.size() - switches.size())) +
                     " characters, no '~')");
  }
  program.insert(program.end(), movie_bytes.begin(), movie_bytes.end());

  OutputFile file;
  if (!file.Open(out) || !file.Write(program.data(), program.size()) || !file.Finish())
    return FileFailure(OutputName(out), file.error());
  if (IsStandardStream(out)) return kExitSuccess;
  // Runnable like the player it came from.
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::perms mode =
      IsStandardStream(player) ? fs::perms::owner_all : fs::status(player, ec).permissions();
  fs::permissions(out,
                  (ec ? fs::perms::owner_all : mode) | fs::perms::owner_read |
                      fs::perms::owner_write | fs::perms::owner_exec,
                  ec);
  return kExitSuccess;
}

}  // namespace

const Command kEmbedCommand{
    "embed", "PLAYER MOVIE -o OUT [--switches \"...\"]",
    "make a copy of the player that plays its own movie",
    "Writes a copy of PLAYER (vexilplay, or a copy made before) with MOVIE appended\n"
    "and its default command set to play it, with the switches as its defaults: a\n"
    "switch on OUT's command line adds to them. A carrier made from a carrier plays\n"
    "the new movie. MOVIE or PLAYER may be - for standard input, OUT - for standard\n"
    "output.\n"
    "\n"
    "  -o OUT               the new program\n"
    "  --switches \"...\"    its default switches, e.g. \"/L /J\"\n",
    RunEmbed};

}  // namespace vexil::tools
