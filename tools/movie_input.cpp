#include "tools/movie_input.h"

#include <algorithm>
#include <cstring>

#include "tools/command_line.h"
#include "tools/stream_files.h"

namespace vexil::tools {

MovieInput::~MovieInput() {
  vexil_close(movie_);
}

int64_t MovieInput::StreamRead(void* user, void* buffer, size_t n) {
  auto* s = static_cast<MemoryStream*>(user);
  const size_t take = std::min(n, s->bytes.size() - s->position);
  if (take) std::memcpy(buffer, s->bytes.data() + s->position, take);
  s->position += take;
  return static_cast<int64_t>(take);
}

int MovieInput::StreamSeek(void* user, uint64_t offset) {
  auto* s = static_cast<MemoryStream*>(user);
  // Past the end is allowed: reads there deliver nothing, as at a file's end.
  s->position = static_cast<size_t>(std::min<uint64_t>(offset, s->bytes.size()));
  return 0;
}

int64_t MovieInput::StreamSize(void* user) {
  return static_cast<int64_t>(static_cast<MemoryStream*>(user)->bytes.size());
}

bool MovieInput::Open(const std::string& name, const vexil_open_options& options) {
  shown_name_ = InputName(name);
  vexil_result result;
  if (IsStandardStream(name)) {
    std::string error;
    if (!ReadWholeInput(name, &stream_.bytes, &error)) {
      FileFailure(shown_name_, error);
      return false;
    }
    // A stream rather than a memory block: a cut stream then plays up to its
    // cut, as a cut file does, where a block shorter than its movie is refused.
    vexil_io io{};
    io.user = &stream_;
    io.read = StreamRead;
    io.seek = StreamSeek;
    io.size = StreamSize;
    result = vexil_open_io(&io, &options, &movie_);
  } else {
    result = vexil_open_file(name.c_str(), &options, &movie_);
  }
  if (result != VEXIL_OK) {
    FileFailure(shown_name_, vexil_result_text(result));
    return false;
  }
  vexil_movie_info_init(&info_);
  vexil_movie_get_info(movie_, &info_);
  return true;
}

std::string MovieInput::UnreadableFrame(uint32_t n) const {
  std::string text = "cannot read frame " + std::to_string(n);
  if (!truncated()) return text;
  text += ": the file is truncated ";
  text += info_.complete_frames ? "after frame " + std::to_string(info_.complete_frames)
                                : "before frame 1";
  return text + " (" + std::to_string(info_.bytes_present) + " of " +
         std::to_string(info_.movie_bytes) + " bytes)";
}

}  // namespace vexil::tools
