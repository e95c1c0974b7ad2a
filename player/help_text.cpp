#include "player/help_text.h"

#include <initializer_list>
#include <string_view>

namespace vexil {
namespace {

struct HelpEntry {
  const char* field;
  std::initializer_list<const char*> lines;
};

// In the order the box lists them (not the parse order).
const HelpEntry kEntries[] = {
    {"/P  ", {"Preload the entire Vexil video into memory."}},
    {"/L##", {"Loop the animation (just/L for infinite)."}},
    {"/F#.#", {"Use this frame rate (just /F for fast)."}},
    {"/T##", {"Play the specified sound track."}},
    {"/Z  ", {"Use waveOut instead of DirectSound for audio output."}},
    {"/S  ", {"Show the playback summary when finished."}},
    {"/X##", {"Specifies the X coordinate of the playback."}},
    {"/Y##", {"Specifies the Y coordinate of the playback."}},
    {"/W#.#",
     {"Stretch to this width in pixels (can be slow). Use negative numbers for",
      "scaling (i.e. for 2x, use '/w-2').  For full screen, use -1 ('/w-1')."}},
    {"/H#.#", {"Stretch to this height in pixels (can be slow)."}},
    {"/R   ", {"Fill the screen with a black background."}},
    {"/C   ", {"Hide the cursor when in the Vexil window."}},
    {"/M##", {"Simulate this read speed (in bytes/second)."}},
    {"/E##", {"Specified the amount of memory for read buffering."}},
    {"/G  ", {"Don't load the read buffer when opening the Vexil (faster opening)."}},
    {"/K  ", {"Do not use multi-threaded device reading."}},
    {"/U##", {"Disable controls: 1=pause, 2=skip, 4=quit."}},
    {"/N  ", {"Never skip frames when falling behind."}},
    {"/Q  ", {"Show run-time playback statistics."}},
    {"/J  ", {"Don't pause the video when the focus is lost."}},
    {"/I# ", {"Window style: 0=normal, 1=no caption, 2=nothing.  Add 100 for always-on-top."}},
    {"/A##",
     {"Display options: 1=2x height doubled, 2=2x height interlaced, 3=2x width doubled,",
      "4=2x width and height doubled, 5=2x width and height interlaced,",
      "6=1x height interlaced, 7=force none. Add 100 for grayscale, 1000 to show alpha."}},
    {"/D##",
     {"Display resolution: 1=320x200, 2=320x240, 3=320x400, 4=400x300, 5=480x360,",
      "6=512x384, 7=640x400, 8=640x480, 9=800x600, 10=960x720, 11=1024x768,",
      "12=1152x864, 13=1280x1024. To set the color depth, add: 0 for 16-bit,",
      "100 for 24-bit, 200 for 32-bit, 300 for 8-bit, 400 for at least",
      "high-color (16, 32, then 24), 500 to try true-color (32, 24, then 16),",
      "and 600 for true-color only (32, then 24)."}},
    {"/B##",
     {"Blitting style: 0=Automatic, 1=DirectDraw primary display (best quality,",
      "very fast), 2=DIBSection (best quality, most compatible), 3=YV12 overlay,",
      "4=YUY2 overlay, 5=UYVY overlay, 6=YV12 off-screen, 7=YUY2 off-screen,",
      "8=UYVY off-screen, 9=DirectDraw RGB video memory off-screen,",
      "10=DirectDraw RGB system memory off-screen."}},
};

}  // namespace

std::string HelpText() {
  std::string text = std::string(kProgramName) + " " + kProgramVersion +
                     " - plays Vexil videos, one after the other.\n";
  text += "  SYNTAX: VexilPlay <Vexil1 Vexil2 ...> [/Switches]:\n";
  for (const HelpEntry& entry : kEntries) {
    bool first = true;
    for (const char* line : entry.lines) {
      if (first) {
        text += std::string("    ") + entry.field + "\t- " + line + "\n";
        first = false;
      } else {
        // The box's own layout: the /W lines carry one blank more.
        text += std::string(std::string_view(entry.field) == "/W#.#" ? 9 : 8, ' ') + "\t    " +
                line + "\n";
      }
    }
  }
  return text;
}

}  // namespace vexil
