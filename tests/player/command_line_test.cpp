// The raw command line on both systems, and the screensaver decision.
#include <vexil/version.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "player/command_line.h"
#include "player/screensaver_mode.h"

namespace vexil {
namespace {

TEST(CommandLine, SkipProgramName) {
  struct {
    const char* line;
    const char* rest;
  } cases[] = {
      {"VexilPlay.exe movie /L", "movie /L"},
      {"\"C:\\Program Files\\VexilPlay.exe\"  movie", "movie"},
      {"\"C:\\a b\\p.exe\"movie", "movie"},
      {"\"unterminated movie", ""},
      {"VexilPlay.exe", ""},
      {"VexilPlay.exe\t \t", ""},
      {"", ""},
  };
  for (auto c : cases) EXPECT_EQ(SkipProgramName(c.line), c.rest) << c.line;
}

std::set<std::string> g_files;
bool FakeExists(const char* name) { return g_files.count(name) != 0; }

TEST(CommandLine, RebuildFromArguments) {
  g_files = {"/home/u/s.vxl", "/home/u/intro.vxl", "/media/c.bin"};
  struct {
    std::vector<std::string> arguments;
    const char* text;
    std::vector<std::string> names;
  } cases[] = {
      {{}, "", {}},
      {{"movie", "/L3"}, "movie /L3", {}},
      {{"my movie", "/P"}, "\"my movie\" /P", {}},  // quoted: it has a blank
      {{""}, "", {}},                               // blank arguments count as none
      {{"   ", "\t", "movie"}, "movie", {}},
      {{"--", " "}, "", {}},
      {{"/home/u/s.vxl", "/S"}, "/S", {"/home/u/s.vxl"}},
      {{"/home/u/intro"}, "", {"/home/u/intro"}},  // exists with ".vxl" added
      {{"/media/c.bin|4096"}, "", {"/media/c.bin|4096"}},
      {{"/missing/x.vxl"}, "/missing/x.vxl", {}},  // then the help box
      {{"/L", "--", "/L", "--", "a b"}, "/L", {"/L", "--", "a b"}},
      {{":97280", "/j"}, ":97280 /j", {}},
  };
  for (const auto& c : cases) {
    RawCommandLine raw = RebuildCommandLine(c.arguments, FakeExists);
    EXPECT_EQ(raw.text, c.text);
    EXPECT_EQ(raw.movie_names, c.names);
  }
}

TEST(CommandLine, HelpAndVersionRequests) {
  struct {
    std::vector<std::string> arguments;
    ProgramRequest request;
  } cases[] = {
      {{}, ProgramRequest::kPlay},
      {{"movie", "/L"}, ProgramRequest::kPlay},
      {{"-h"}, ProgramRequest::kHelp},
      {{"movie", "--help"}, ProgramRequest::kHelp},
      {{"-V"}, ProgramRequest::kVersion},
      {{"--version", "-h"}, ProgramRequest::kVersion},  // the first one decides
      {{"--", "-h"}, ProgramRequest::kPlay},            // a file named -h
      {{"-help", "--h", "-v", "/h", "-H"}, ProgramRequest::kPlay},
  };
  for (const auto& c : cases) EXPECT_EQ(FindProgramRequest(c.arguments), c.request);
  EXPECT_EQ(VersionText(), "vexilplay " VEXIL_VERSION_STRING "\n");
}

TEST(Screensaver, DecidedFromTheProgramName) {
  struct {
    const char* path;
    bool screensaver;
  } cases[] = {
      {"/usr/bin/vexilplay", false}, {"C:\\x\\Movie.scr", true}, {"C:\\x\\MOVIE.SCR", true},
      {"C:\\x\\movie.scr\"", true},  {"movie.sCr", true},        {"scr", true},
      {"cr", false},                 {"", false},                {"\"", false},
      {"movie.scr.exe", false},      {"movie.src", false},
  };
  for (auto c : cases) EXPECT_EQ(IsScreensaverProgram(c.path), c.screensaver) << c.path;
}

}  // namespace
}  // namespace vexil
