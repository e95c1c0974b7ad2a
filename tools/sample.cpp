// vexil sample OUT.vxl: writes a small movie container (two seconds at 10
// frames per second, one key frame per second) to try the other commands on.
#include <vector>

#include "encoder/movie_writer.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/stream_files.h"

namespace vexil::tools {
namespace {

int RunSample(const Command& command, int argc, char** argv) {
  ArgumentReader args(command, argc, argv);
  std::vector<std::string> names;
  if (!args.ReadNames(&names)) return args.exit_code();
  if (names.size() != 1) return args.UsageError("give one output name");
  MovieWriter writer('i', 64, 48, 10, 1);
  for (int i = 0; i < 20; ++i)
    writer.AddFrame(i % 10 == 0, std::vector<uint8_t>(64 + 8 * (i % 10), 0));
  const std::vector<uint8_t> movie = writer.Finish();
  OutputFile out;
  if (!out.Open(names[0]) || !out.Write(movie.data(), movie.size()) || !out.Finish())
    return FileFailure(OutputName(names[0]), out.error());
  return kExitSuccess;
}

}  // namespace

const Command kSampleCommand{
    "sample", "OUT.vxl", "write a small movie container to try the other commands on",
    "Writes a 64 x 48 movie of 20 frames at 10 frames per second, a key frame every\n"
    "second, no sound. Its packets hold only zero bytes: it tries the container\n"
    "side of the commands, not the pictures. OUT.vxl - writes it to standard output.\n",
    RunSample};

}  // namespace vexil::tools
