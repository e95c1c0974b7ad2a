// File access for the engine and the player. The engine never calls the
// operating system directly; it reads movies through these calls.
#pragma once

#include <cstdint>
#include <string>

namespace vexil::platform {

// An open file: a POSIX descriptor or a Windows HANDLE, whichever the back end uses.
using FileHandle = intptr_t;
constexpr FileHandle kNoFile = -1;

// Opens an existing file for reading, shared for reading, with a sequential-scan
// hint; if that is refused, tries once more sharing reading and writing.
FileHandle FileOpenRead(const char* name);
// Opens (creates or truncates) a file for writing; for tools and tests.
FileHandle FileOpenWrite(const char* name);
void FileClose(FileHandle file);

// Current position, or -1 on error.
int64_t FileTell(FileHandle file);
// Absolute seek; false on failure.
bool FileSeek(FileHandle file, int64_t position);
// Reads up to n bytes; returns the count read (less at the end of the file), -1 on error.
int64_t FileRead(FileHandle file, void* destination, uint32_t n);
// Writes n bytes; false unless all were written.
bool FileWrite(FileHandle file, const void* source, uint32_t n);
// Size in bytes, or -1.
int64_t FileSize(FileHandle file);

// Whether a file of that name exists.
bool FileExists(const char* name);
// Full path of the running program file.
std::string ModulePath();

}  // namespace vexil::platform
