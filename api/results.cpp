// Result codes, their texts, and the library's version.
#include <string>

#include "api/library.h"
#include "engine/error_messages.h"

namespace vexil::api {

vexil_result Fail(const vexil_movie* movie, vexil_result code, const std::string& text) {
  if (movie) {
    try {
      movie->error = text;
    } catch (const std::bad_alloc&) {
      movie->error.clear();
    }
  }
  return code;
}

vexil_result Fail(const vexil_movie* movie, vexil_result code) {
  return Fail(movie, code, vexil_result_text(code));
}

vexil_result CodeOfEngineText(const std::string& text) {
  static constexpr struct {
    const char* text;
    vexil_result code;
  } kCodes[] = {
      {kErrOpeningFile, VEXIL_ERROR_OPEN},
      {kErrNotVexil, VEXIL_ERROR_NOT_VEXIL},
      {kErrNoFrames, VEXIL_ERROR_NO_FRAMES},
      {kErrCorruptHeader, VEXIL_ERROR_CORRUPT_HEADER},
      {kErrReadingHeader, VEXIL_ERROR_READING_HEADER},
      {kErrBadFrameSizes, VEXIL_ERROR_BAD_FRAME_SIZES},
      {kErrOutOfMemory, VEXIL_ERROR_OUT_OF_MEMORY},
  };
  for (const auto& c : kCodes) {
    if (text == c.text) return c.code;
  }
  return VEXIL_ERROR_OPEN;
}

}  // namespace vexil::api

using namespace vexil;

extern "C" {

const char* vexil_result_text(vexil_result result) {
  switch (result) {
    case VEXIL_OK:
      return "";
    case VEXIL_END:
      return "The movie has no more frames.";
    case VEXIL_ERROR_ARGUMENT:
      return "Invalid argument.";
    case VEXIL_ERROR_OPEN:
      return kErrOpeningFile;
    case VEXIL_ERROR_NOT_VEXIL:
      return kErrNotVexil;
    case VEXIL_ERROR_NO_FRAMES:
      return kErrNoFrames;
    case VEXIL_ERROR_CORRUPT_HEADER:
      return kErrCorruptHeader;
    case VEXIL_ERROR_READING_HEADER:
      return kErrReadingHeader;
    case VEXIL_ERROR_BAD_FRAME_SIZES:
      return kErrBadFrameSizes;
    case VEXIL_ERROR_OUT_OF_MEMORY:
      return kErrOutOfMemory;
    case VEXIL_ERROR_READ:
      return "The movie could not be read: it is cut short or its source failed.";
    case VEXIL_ERROR_NO_TRACK:
      return "No chosen sound track has that id.";
    case VEXIL_ERROR_THREADS:
      return "The decode threads could not be started.";
    case VEXIL_ERROR_NO_VIDEO:
      return "There is no picture: the movie was opened without video or has not decoded one.";
    case VEXIL_ERROR_UNSUPPORTED:
      return "The library cannot do that here.";
    default:
      return "Unknown result.";
  }
}

uint32_t vexil_version(void) {
  return VEXIL_VERSION_NUMBER;
}

const char* vexil_version_string(void) {
  return VEXIL_VERSION_STRING;
}

}  // extern "C"
