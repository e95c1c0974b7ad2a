#include "player/settings.h"

#include <algorithm>

#include "engine/movie.h"
#include "player/command_text.h"

namespace vexil {
namespace {

struct ModeSize {
  int32_t width;
  int32_t height;
};

// /D value mod 100, from 1.
constexpr ModeSize kDisplayModes[] = {
    {320, 200}, {320, 240}, {320, 400}, {400, 300},  {480, 360},  {512, 384},   {640, 400},
    {640, 480}, {800, 600}, {960, 720}, {1024, 768}, {1152, 864}, {1280, 1024},
};
constexpr int32_t kDisplayModeCount = 13;

// /D value div 100.
constexpr int32_t kDepthCodes[] = {16, 24, 32, 8, 1, 2, 3};
constexpr int32_t kDepthCodeCount = 7;

// Parses one switch after another out of the text; a value out of range or
// too large marks the command as refused.
class SwitchReader {
 public:
  explicit SwitchReader(std::string& text) : text_(text) {}

  bool Flag(char letter) { return TakeFlagSwitch(text_, letter); }
  IntegerSwitch Integer(char letter, int32_t fallback) {
    IntegerSwitch found = TakeIntegerSwitch(text_, letter, fallback);
    if (found.overflow) refused_ = true;
    return found;
  }
  RationalSwitch Fraction(char letter, Rational fallback) {
    RationalSwitch found = TakeRationalSwitch(text_, letter, fallback);
    if (found.overflow) refused_ = true;
    return found;
  }
  void Refuse() { refused_ = true; }
  bool refused() const { return refused_; }

 private:
  std::string& text_;
  bool refused_ = false;
};

bool IsBlank(unsigned char c) { return c <= ' '; }

bool AllBlank(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return IsBlank(static_cast<unsigned char>(c)); });
}

}  // namespace

PlayerSettings ParseCommandText(const CommandInput& input) {
  PlayerSettings s;
  s.screen_width = input.screen_width;
  s.screen_height = input.screen_height;

  std::string text(input.default_command.substr(0, kCommandTextLimit));
  if (!input.screensaver) AppendCommandText(text, input.command_line);
  CancelSwitches(text);

  SwitchReader r(text);
  // Quick play comes first so that its switches are parsed by all that follow
  // (cancellation has run already and does not reach them).
  if (r.Flag('!')) AppendCommandText(text, input.quick_play.substr(0, kQuickPlayLimit));

  // /L: the number form wins over the flag form.
  IntegerSwitch loops = r.Integer('L', -1);
  bool loop_forever = r.Flag('L');
  s.play_count = loops.value != -1 ? loops.value : loop_forever ? 0 : 1;

  s.parent_window = r.Integer('#', 0).value;

  RationalSwitch rate = r.Fraction('F', {-1, -1});
  bool as_fast_as_possible = r.Flag('F');
  if (rate.found && !rate.overflow && rate.value.num < 0) r.Refuse();
  if (rate.found && !rate.overflow) {
    s.rate_override = rate.value;
  } else if (as_fast_as_possible) {
    s.rate_override = {0, 0};
  }
  if (s.rate_override.num != -1 && s.rate_override.den != -1) s.open_flags |= OPEN_RATE_OVERRIDE;

  s.sound_track = r.Integer('T', 0).value;
  if (s.sound_track != 0) s.open_flags |= OPEN_TRACK_LIST;

  s.read_speed = r.Integer('M', 0).value;
  if (s.read_speed < 0) r.Refuse();
  if (s.read_speed != 0) s.open_flags |= OPEN_SIMULATE_SPEED;

  IntegerSwitch buffer = r.Integer('E', -1);
  if (buffer.found && buffer.value < 0) r.Refuse();
  s.read_buffer_size = buffer.value;
  if (s.read_buffer_size != -1) s.open_flags |= OPEN_READ_BUFFER;

  s.disabled_controls = static_cast<uint32_t>(r.Integer('U', 0).value);

  int32_t style = r.Integer('I', 0).value;
  if (style < 0 || style % 100 > kWindowBare) {
    r.Refuse();
  } else {
    s.window_style = style % 100;
    s.always_on_top = style / 100;
  }

  s.use_wave_out = r.Flag('Z');
  s.show_summary = r.Flag('S');
  s.show_statistics = r.Flag('Q');
  s.keep_playing = r.Flag('J');
  if (r.Flag('R')) {
    s.black_background = true;
    s.window_style = kWindowBare;
  }
  s.hide_cursor = r.Flag('C');
  if (r.Flag('N')) s.open_flags |= OPEN_NEVER_SKIP;
  if (r.Flag('G')) s.open_flags |= OPEN_NO_FILL;
  if (r.Flag('P')) s.open_flags |= OPEN_PRELOAD;
  if (r.Flag('K')) s.open_flags |= OPEN_NO_THREAD_READ;

  int32_t options = r.Integer('A', 0).value;
  if (options < 0) {
    r.Refuse();
  } else {
    if (options / 1000 == 1) {
      s.open_flags |= OPEN_ALPHA;
      s.copy_flags |= PLAYER_COPY_ALPHA;
      options -= 1000;
    }
    if (options / 100 == 1) {
      s.open_flags |= OPEN_GRAYSCALE;
      options -= 100;
    }
    s.open_flags += static_cast<uint32_t>(std::min(options, 7)) << OPEN_DISPLAY_OPTION_SHIFT;
  }

  s.window_x = r.Integer('X', kWindowCentred).value;
  s.window_y = r.Integer('Y', kWindowCentred).value;
  s.width_request = r.Fraction('W', {0, 0}).value;
  s.height_request = r.Fraction('H', {0, 0}).value;

  int32_t mode = r.Integer('D', 0).value;
  if (mode != 0) {
    int32_t size = mode % 100;
    int32_t depth = mode / 100;
    if (mode < 0 || size < 1 || size > kDisplayModeCount || depth >= kDepthCodeCount) {
      r.Refuse();
    } else {
      const ModeSize& m = kDisplayModes[size - 1];
      s.buffer_flags |= PLAYER_BUFFER_FULL_SCREEN;
      s.display_mode = {m.width, m.height, kDepthCodes[depth]};
      s.screen_width = m.width;
      s.screen_height = m.height;
    }
  }

  int32_t blit_style = r.Integer('B', 0).value;
  if (input.screensaver) {
    // The saver always draws through a DIB section; /B is read and dropped.
    s.play_count = 0;
    s.black_background = true;
    s.window_style = kWindowBare;
    s.hide_cursor = true;
    s.buffer_flags |= kBlitStyleDibSection;
  } else if (blit_style < 0 || blit_style > kHighestBlitStyle) {
    r.Refuse();
  } else {
    s.buffer_flags |= static_cast<uint32_t>(blit_style);
  }

  // Whatever still holds a '/' is a switch nobody took.
  bool leftover_switch = text.find('/') != std::string::npos;
  s.name_list = std::move(text);
  s.file_names = input.movie_names;
  s.show_help = r.refused() || leftover_switch || (AllBlank(s.name_list) && s.file_names.empty());
  return s;
}

}  // namespace vexil
