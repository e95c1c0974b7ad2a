// What a screen saver asks of the system: telling it that a saver runs, the
// password check that older consumer Windows leaves to the saver itself, and
// the size of the preview area the settings page hands the saver by number.
//
// On Windows these are the real calls (system parameter 97, "PASSWORD.CPL",
// GetClientRect); on other systems a saver is told nothing, the password
// check answers as a modern system would (no password asked of the saver),
// and the preview area is an X window whose size SDL reports. The headless
// back end records the notices and answers the checks as tests arrange.
//
// Player thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace vexil::platform {

// Tells the system that a screen saver starts (true) or stops running.
void SetScreenSaverRunning(bool running);

// Asks the system's saver password check once: true when the saver may end
// (the password was given, or the system does not ask the saver for one);
// false when the user did not give it. The check's box belongs to the
// process's active window (the saver's, while the user works it).
bool ScreenSaverPasswordCheck();

// The client size of the window with the system number `window` (the preview
// area); false when there is no such window.
bool PreviewClientSize(intptr_t window, int32_t* width, int32_t* height);

// --- the systems' parts (each system's file provides them) ---
void SystemSetScreenSaverRunning(bool running);
bool SystemScreenSaverPasswordCheck();
bool SystemPreviewClientSize(intptr_t window, int32_t* width, int32_t* height);

// --- headless, for tests ---

// The notices given, oldest first.
const std::vector<bool>& HeadlessScreenSaverNotices();
// Answers for the next password checks, in order; when they run out a check
// passes.
void SetHeadlessPasswordAnswers(std::deque<bool> answers);
// How many password checks were asked.
int HeadlessPasswordChecks();
// A window of another program with this number and client size (0 x 0 with
// a negative width: forget it).
void SetHeadlessForeignWindow(intptr_t window, int32_t width, int32_t height);
// Forgets the notices, the answers, the count and the foreign windows.
void ResetHeadlessScreenSaver();

}  // namespace vexil::platform
