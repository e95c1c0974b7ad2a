// vexil sample OUT.vxl: writes a small movie container (two seconds at 10
// frames per second, one key frame per second) to try the other commands on.
#include <cstdio>
#include <vector>

#include "encoder/movie_writer.h"
#include "tools/commands.h"

namespace vexil::tools {
namespace {

int RunSample(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: vexil sample OUT.vxl\n");
    return 2;
  }
  MovieWriter writer('i', 64, 48, 10, 1);
  for (int i = 0; i < 20; ++i)
    writer.AddFrame(i % 10 == 0, std::vector<uint8_t>(64 + 8 * (i % 10), 0));
  if (!writer.WriteFile(argv[0])) {
    std::fprintf(stderr, "vexil: cannot write %s\n", argv[0]);
    return 1;
  }
  return 0;
}

const CommandRegistration kSample{
    {"sample", "OUT.vxl         write a small movie container to try the tools on", RunSample}};

}  // namespace
}  // namespace vexil::tools
