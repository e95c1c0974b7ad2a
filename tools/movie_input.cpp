#include "tools/movie_input.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <vector>

#include "engine/container.h"
#include "engine/last_error.h"
#include "engine/movie.h"
#include "tools/command_line.h"
#include "tools/stream_files.h"

namespace vexil::tools {

void MovieInput::FreeBlock::operator()(uint8_t* block) const {
  std::free(block);
}

MovieInput::~MovieInput() {
  Close(movie_);
}

bool MovieInput::Open(const std::string& name, uint32_t open_flags) {
  shown_name_ = InputName(name);
  auto fail = [&](const std::string& text) {
    FileFailure(shown_name_, text);
    return false;
  };
  MovieSource source = MovieSource::Name(name.c_str());
  if (IsStandardStream(name)) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadWholeInput(name, &bytes, &error)) return fail(error);
    present_ = bytes.size();
    // The engine takes a memory block as the whole movie and refuses one
    // shorter than its index. A cut stream is made as long as the header
    // says, the missing part zero (calloc leaves it untouched): its frames
    // past the cut are never read, as with a cut file.
    uint64_t size = present_;
    if (present_ >= kHeaderBytes) {
      const ContainerHeader h = ParseHeader(bytes.data());
      size = std::max<uint64_t>(size, uint64_t{h.file_size} + 8);
    }
    // Memory movies carry 1 KiB of zero bytes after their data, as the
    // packet buffers of files do: the decoders may look that far ahead.
    constexpr uint64_t kTail = 1024;
    if (size > std::numeric_limits<size_t>::max() - kTail) return fail(kErrOutOfMemory);
    memory_.reset(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(size + kTail), 1)));
    if (!memory_) return fail(kErrOutOfMemory);
    if (!bytes.empty()) std::memcpy(memory_.get(), bytes.data(), bytes.size());
    read_ = bytes.size();
    source = MovieSource::Memory(memory_.get(), static_cast<size_t>(size));
    open_flags |= OPEN_MEMORY;
  } else {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(name, ec);
    present_ = ec ? UINT64_MAX : size;  // not a plain file: its end is found by reading
  }
  movie_ = vexil::Open(source, open_flags);
  if (!movie_) return fail(LastError());
  expected_ = uint64_t{movie_->file_size} + 8;
  present_ = std::min(present_, expected_);
  complete_frames_ = 0;
  while (complete_frames_ < movie_->frame_count &&
         IndexOffset(movie_->frame_index[complete_frames_ + 1]) <= present_)
    ++complete_frames_;
  return true;
}

bool MovieInput::FrameRead(uint32_t n) const {
  return n <= complete_frames_ && !movie_->input.input_error;
}

std::string MovieInput::UnreadableFrame(uint32_t n) const {
  std::string text = "cannot read frame " + std::to_string(n);
  if (!truncated()) return text;
  text += ": the file is truncated ";
  text += complete_frames_ ? "after frame " + std::to_string(complete_frames_) : "before frame 1";
  return text + " (" + std::to_string(present_) + " of " + std::to_string(expected_) + " bytes)";
}

}  // namespace vexil::tools
