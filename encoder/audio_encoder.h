// Codes a whole audio track and cuts it into the audio parts of the frames.
//
// Blocks overlap by the decoder's cross-fade (a sixteenth of a block), so
// block k codes the samples from k x (block - overlap) on. Each band gets the
// coarsest quantizer that keeps its noise a set distance below the band's own
// power and below the loudest band's. The frames carry whole blocks: the first
// frame three quarters of a second ahead of the picture (the sound ring's
// preroll) and every later one enough to stay that far ahead; the count of the
// very last part cuts the decoded sound to the input's exact length.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexil {

struct AudioInput {
  uint32_t rate = 0;                 // 1 .. 65535 Hz
  uint32_t channels = 0;             // 1 or 2
  bool eight_bit = false;            // the track plays as 8-bit samples
  const int16_t* samples = nullptr;  // interleaved
  size_t frames = 0;                 // sample frames
};

struct AudioEncodeOptions {
  bool rdft = false;  // else the DCT codec
  uint32_t quality = 75;
};

struct AudioTrack {
  uint32_t format = 0;                      // the track format word
  std::vector<std::vector<uint8_t>> parts;  // per video frame: empty, or count + blocks
  std::vector<int16_t> decoded;             // what the decoder yields from all parts, in order
  size_t coded_frames = 0;                  // sample frames coded: the input up to the video's end
  uint32_t largest_part = 0;                // decoded bytes of the largest part
  uint32_t blocks = 0;
  double snr_db = 0;    // of the decoded sound against the input
  std::string warning;  // something a player may not like (empty when none)
};

// Codes `input` for a movie of `video_frames` frames at rate_num / rate_den
// frames per second. False with *error when the input cannot be coded.
bool EncodeAudioTrack(const AudioInput& input, const AudioEncodeOptions& options,
                      uint32_t video_frames, uint32_t rate_num, uint32_t rate_den,
                      AudioTrack* track, std::string* error);

}  // namespace vexil
