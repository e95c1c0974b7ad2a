// Every vexil command speaks the same conventions: -h/--help and --version
// on standard output with exit 0, usage errors exit 2, failures exit 1 and
// name the file, "-" for the standard streams, and no file made where
// nothing was done. Each case runs in a folder of its own holding the same
// inputs; the files a case leaves there beyond them are what it made.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tool_runner.h"

namespace vexil {
namespace {

namespace fs = std::filesystem;

const char* const kCommands[] = {"info",  "decode", "frame", "encode",
                                 "synth", "sample", "embed", "help"};

// The inputs every case finds in its folder.
class Workspace {
 public:
  Workspace() : anchor_("anchor") {
    const std::vector<uint8_t> movie =
        test::ReadFileBytes(test::VectorsDir() + "/video/movie_003.vxl");
    Put("movie.vxl", movie);
    Put("trunc.vxl", std::vector<uint8_t>(movie.begin(), movie.begin() + 20000));
    Put("text.vxl", test::Bytes("This is not a movie at all, just a few words of text.\n"));
    Put("in.y4m", test::ReadFileBytes(test::VectorsDir() + "/video/movie_000.y4m"));
    inputs_ = Files();
  }

  const std::string& folder() const { return folder_; }
  // The files a command made here, and removes them for the next case.
  std::set<std::string> TakeMade() const {
    std::set<std::string> made;
    for (const std::string& name : Files()) {
      if (inputs_.count(name)) continue;
      made.insert(name);
      fs::remove_all(fs::path(folder_) / name);
    }
    return made;
  }

 private:
  void Put(const std::string& name, const std::vector<uint8_t>& bytes) {
    const fs::path path = fs::path(folder_) / name;
    fs::create_directories(folder_);
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_))
      names.insert(entry.path().filename().string());
    return names;
  }

  test::TempFile anchor_;
  std::string folder_ = anchor_.Sibling("work");
  std::set<std::string> inputs_;
};

struct Case {
  std::vector<std::string> args;
  int exit_code;
  std::string out;  // a regular expression standard output must contain ("" = any)
  std::string err;  // text standard error must contain; a success must leave it empty
  std::set<std::string> made;
  std::string input = "";  // a file of the folder on standard input
};

void Check(const Workspace& w, const Case& c) {
  std::string line;
  for (const std::string& a : c.args) line += a + " ";
  SCOPED_TRACE("vexil " + line);
  const std::string input = c.input.empty() ? "" : (fs::path(w.folder()) / c.input).string();
  const test::ToolRun run = test::RunVexil(c.args, input, w.folder());
  EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
  if (!c.out.empty()) {
    EXPECT_TRUE(std::regex_search(run.out, std::regex(c.out))) << run.out;
  }
  if (c.exit_code == 0 && c.err.empty()) {
    EXPECT_EQ(run.err, "");
  } else {
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
  }
  EXPECT_EQ(w.TakeMade(), c.made);
}

const std::string kVersion = "^vexil [0-9]+\\.[0-9]+(\\.[0-9]+)?\r?\n$";

TEST(ToolConventions, HelpVersionAndUnknownOptionsInEveryCommand) {
  Workspace w;
  for (const char* name : kCommands) {
    const std::string usage = std::string("^usage: vexil ") + name + " ";
    for (const Case& c : {
             Case{{name, "--help"}, 0, usage, "", {}},
             Case{{name, "-h"}, 0, usage, "", {}},
             Case{{name, "--version"}, 0, kVersion, "", {}},
             Case{{name, "-V"}, 0, kVersion, "", {}},
             Case{{name, "--frobnicate"},
                  2,
                  "",
                  std::string("vexil ") + name + ": unknown option --frobnicate\nusage: vexil ",
                  {}},
         }) {
      Check(w, c);
    }
  }
}

TEST(ToolConventions, TheToolItself) {
  Workspace w;
  std::string every_command;
  for (const char* name : kCommands) every_command += std::string("\n  ") + name + " [^\n]*";
  const Case cases[] = {
      {{"--version"}, 0, kVersion, "", {}},
      {{"-V"}, 0, kVersion, "", {}},
      {{"help"}, 0, every_command, "", {}},
      {{"--help"}, 0, every_command, "", {}},
      {{}, 2, "", "usage: vexil COMMAND", {}},
      {{"frobnicate"}, 2, "", "vexil: unknown command 'frobnicate'", {}},
      {{"help", "frame"}, 0, "frames count from 1[\\s\\S]* 15  YV12 ", "", {}},
      {{"help", "frobnicate"}, 2, "", "no command named 'frobnicate'", {}},
  };
  for (const Case& c : cases) Check(w, c);
}

TEST(ToolConventions, FailuresNameTheFileAndMakeNothing) {
  Workspace w;
  const std::string not_vexil = "vexil: text.vxl: Not a Vexil file.\n";
  const std::string missing = "vexil: missing.vxl: Error opening file.\n";
  const Case cases[] = {
      {{"info", "text.vxl"}, 1, "", not_vexil, {}},
      {{"info", "missing.vxl"}, 1, "", missing, {}},
      {{"decode", "text.vxl", "--y4m", "o.y4m"}, 1, "", not_vexil, {}},
      {{"decode", "missing.vxl", "--wav", "o.wav"}, 1, "", missing, {}},
      {{"frame", "text.vxl", "1", "-o", "o.png"}, 1, "", not_vexil, {}},
      {{"embed", "player", "text.vxl", "-o", "o"}, 1, "", not_vexil, {}},
      {{"info", "-"}, 1, "", "vexil: standard input: Not a Vexil file.\n", {}, "text.vxl"},
      {{"frame", "movie.vxl", "10", "-o", "o.png"}, 1, "", "there is no frame 10", {}},
      {{"decode", "movie.vxl", "--wav", "o.wav"}, 1, "", "no audio track with id 0", {}},
      {{"encode", "missing.y4m", "-o", "o.vxl"}, 1, "", "vexil: missing.y4m: cannot open", {}},
      {{"encode", "text.vxl", "-o", "o.vxl"}, 1, "", "vexil: text.vxl: ", {}},
      {{"sample", "no/such/folder/s.vxl"},
       1,
       "",
       "vexil: no/such/folder/s.vxl: cannot write: ",
       {}},
  };
  for (const Case& c : cases) Check(w, c);
}

TEST(ToolConventions, UsageErrorsExit2AndMakeNothing) {
  Workspace w;
  const Case cases[] = {
      {{"info"}, 2, "", "vexil info: no movie given", {}},
      {{"info", "movie.vxl", "trunc.vxl"}, 2, "", "one movie at a time", {}},
      {{"decode", "movie.vxl"}, 2, "", "nothing to write", {}},
      {{"decode", "movie.vxl", "--y4m"}, 2, "", "--y4m needs a file name", {}},
      {{"decode", "movie.vxl", "--y4m", "o.y4m", "--threads", "3"}, 2, "", "not '3'", {}},
      {{"decode", "movie.vxl", "--y4m", "-", "--wav", "-"},
       2,
       "",
       "--y4m and --wav cannot both use standard output",
       {}},
      {{"frame", "movie.vxl", "2", "-o", "x.jpg"}, 2, "", "cannot write .jpg files (x.jpg)", {}},
      {{"frame", "movie.vxl", "2", "-o", "picture"}, 2, "", "picture has no extension", {}},
      {{"frame", "movie.vxl", "2", "-o", "x.png", "--format", "16"}, 2, "", "format code '16'", {}},
      {{"frame", "movie.vxl", "2", "-o", "x.png", "--format", "rgb"},
       2,
       "",
       "format code 'rgb'",
       {}},
      {{"frame", "movie.vxl", "0", "-o", "x.png"}, 2, "", "counts from 1, not '0'", {}},
      {{"frame", "movie.vxl", "2"}, 2, "", "no output given", {}},
      {{"encode", "-", "--alpha", "-", "-o", "o.vxl"},
       2,
       "",
       "the video input and --alpha cannot both use standard input",
       {}},
      {{"encode", "in.y4m", "-o", "-", "--recon", "-"}, 2, "", "-o and --recon cannot both", {}},
      {{"encode", "in.y4m", "-o", "o.vxl", "--quality", "101"}, 2, "", "--quality", {}},
      {{"synth", "demo", "--y4m", "-", "--wav", "-"}, 2, "", "cannot both use standard output", {}},
      {{"synth", "closing", "--y4m", "c.y4m", "--seconds", "3"}, 2, "", "only the demo", {}},
      {{"synth"}, 2, "", "demo or closing", {}},
      {{"sample"}, 2, "", "give one output name", {}},
      {{"embed", "-", "-", "-o", "o"}, 2, "", "cannot both use standard input", {}},
      {{"embed", "player", "movie.vxl"}, 2, "", "no output given", {}},
  };
  for (const Case& c : cases) Check(w, c);
}

TEST(ToolConventions, WhatSucceedsMakesItsFilesOnly) {
  Workspace w;
  const Case cases[] = {
      {{"sample", "s.vxl"}, 0, "", "", {"s.vxl"}},
      {{"frame", "movie.vxl", "2", "-o", "o.png"}, 0, "", "", {"o.png"}},
      {{"frame", "movie.vxl", "2", "-o", "O.PNG"}, 0, "", "", {"O.PNG"}},
      {{"frame", "-o", "-x.raw", "--", "movie.vxl", "2"}, 0, "", "", {"-x.raw"}},
      {{"decode", "movie.vxl", "--y4m", "o.y4m", "--wav", "o.wav", "--track", "3"},
       0,
       "",
       "",
       {"o.wav", "o.y4m"}},
      {{"synth", "closing", "--y4m", "c.y4m"}, 0, "", "", {"c.y4m"}},
      {{"encode", "in.y4m", "-o", "o.vxl"}, 0, "^o.vxl: 2 frames", "", {"o.vxl"}},
      {{"info", "movie.vxl"}, 0, "\nframes: 9\r?\n", "", {}},
  };
  for (const Case& c : cases) Check(w, c);
}

}  // namespace
}  // namespace vexil
