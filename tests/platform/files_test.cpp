// The file calls the engine reads movies through, on the back end of this
// system.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "test_util.h"

namespace vexil::platform {
namespace {

std::vector<uint8_t> Bytes(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  return bytes;
}

TEST(Files, ReadSeekTellAndSize) {
  const std::vector<uint8_t> bytes = Bytes(100000);
  test::TempFile file(bytes);
  FileHandle f = FileOpenRead(file.c_str());
  ASSERT_NE(f, kNoFile);
  EXPECT_EQ(FileSize(f), 100000);
  EXPECT_EQ(FileTell(f), 0);
  std::vector<uint8_t> got(70000);
  EXPECT_EQ(FileRead(f, got.data(), 70000), 70000);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), bytes.begin()));
  EXPECT_EQ(FileTell(f), 70000);
  // Short at the end of the file, then nothing.
  EXPECT_EQ(FileRead(f, got.data(), 70000), 30000);
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 30000, bytes.begin() + 70000));
  EXPECT_EQ(FileRead(f, got.data(), 10), 0);
  ASSERT_TRUE(FileSeek(f, 99990));
  EXPECT_EQ(FileRead(f, got.data(), 4), 4);
  EXPECT_EQ(got[0], bytes[99990]);
  EXPECT_EQ(FileTell(f), 99994);
  EXPECT_FALSE(FileSeek(f, -1));
  FileClose(f);
}

TEST(Files, WhatCannotBeOpened) {
  test::TempFile file(Bytes(10));
  EXPECT_EQ(FileOpenRead(file.Sibling("missing.vxl").c_str()), kNoFile);
  EXPECT_EQ(FileOpenRead(nullptr), kNoFile);
  // The folder holding the file is not a file.
  const std::string folder = file.Sibling("");
  EXPECT_EQ(FileOpenRead(folder.c_str()), kNoFile);
  EXPECT_TRUE(FileExists(file.c_str()));
  EXPECT_FALSE(FileExists(folder.c_str()));
  EXPECT_FALSE(FileExists(file.Sibling("missing.vxl").c_str()));
  EXPECT_EQ(FileRead(kNoFile, nullptr, 1), -1);
  EXPECT_EQ(FileSize(kNoFile), -1);
  EXPECT_EQ(FileTell(kNoFile), -1);
  FileClose(kNoFile);
}

TEST(Files, WriteThenReadBack) {
  test::TempFile file("written.bin");
  const std::vector<uint8_t> bytes = Bytes(5000);
  FileHandle w = FileOpenWrite(file.c_str());
  ASSERT_NE(w, kNoFile);
  EXPECT_TRUE(FileWrite(w, bytes.data(), 5000));
  FileClose(w);
  EXPECT_EQ(test::ReadFileBytes(file.path()), bytes);
}

// A movie still being written by another program: the first open (sharing
// reading only) is refused where the system enforces sharing, the second
// (sharing writing too) succeeds.
TEST(Files, OpensAFileAnotherProgramIsWriting) {
  test::TempFile file(Bytes(1000));
  std::ofstream writer(file.path(), std::ios::binary | std::ios::app);
  ASSERT_TRUE(writer.is_open());
  FileHandle f = FileOpenRead(file.c_str());
  ASSERT_NE(f, kNoFile);
  EXPECT_EQ(FileSize(f), 1000);
  FileClose(f);
}

TEST(Files, ModulePathIsThisProgram) {
  const std::string path = ModulePath();
  EXPECT_TRUE(FileExists(path.c_str())) << path;
#ifdef _WIN32
  const std::string name = "platform_tests.exe";
#else
  const std::string name = "platform_tests";
#endif
  ASSERT_GE(path.size(), name.size());
  EXPECT_EQ(path.substr(path.size() - name.size()), name);
}

}  // namespace
}  // namespace vexil::platform
