// The Win32 window back end: the system's messages as the player's procedure
// sees them, its answers going back to the system, and the GDI side of the
// display device on a real window.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "display/display_buffer.h"
#include "display/display_state.h"
#include "platform/display_device.h"
#include "platform/sound_device.h"
#include "platform/win32/window_win32.h"
#include "platform/win32/windows_api.h"
#include "platform/window.h"

namespace vexil::platform {
namespace {

constexpr const char kClass[] = "VexilWindowTest";

struct Received {
  MessageKind kind;
  uint32_t code;
  Point point;
};

// What the test procedure saw, and how it answers.
struct Recorder {
  std::vector<Received> messages;
  intptr_t erase_answer = 1;
  int32_t snap_x = -1;  // kPositionChanging moves x here when set
  Rect painted = {0, 0, 0, 0};
};
Recorder* g_recorder = nullptr;

intptr_t Procedure(Window* window, const Message& m) {
  Recorder& r = *g_recorder;
  r.messages.push_back({m.kind, m.code, m.point});
  switch (m.kind) {
    case MessageKind::kEraseBackground:
      return r.erase_answer;
    case MessageKind::kPaint:
      r.painted = window->BeginPaint();
      return 0;
    case MessageKind::kPositionChanging:
      if (r.snap_x >= 0 && m.position && !(m.position->flags & POSITION_NO_MOVE))
        m.position->x = r.snap_x;
      return 0;
    case MessageKind::kChar:
      return 0;
    default:
      return DefaultWindowProcedure(window, m);
  }
}

class Win32Window : public ::testing::Test {
 protected:
  void SetUp() override {
    SetBackendForTest(Backend::kWin32);
    g_recorder = &recorder_;
    WindowClass c;
    c.name = kClass;
    c.procedure = Procedure;
    c.icon = kIconResource;
    ASSERT_TRUE(RegisterWindowClass(c));
    WindowCreation creation;
    creation.class_name = kClass;
    creation.title = "Vexil Video Player";
    creation.style = WINDOW_POPUP | WINDOW_CLIP_CHILDREN | WINDOW_SYSTEM_MENU |
                     WINDOW_MINIMIZE_BOX | WINDOW_CAPTION;
    creation.ex_style = WINDOW_EX_DIALOG_FRAME;
    creation.x = 40;
    creation.y = 30;
    creation.width = 200;
    creation.height = 150;
    window_ = OpenWindow(creation);
    ASSERT_NE(window_, nullptr);
    hwnd_ = static_cast<HWND>(win32::WindowHandleOf(window_.get()));
    ASSERT_NE(hwnd_, nullptr);
    Drain();
    recorder_.messages.clear();
  }
  void TearDown() override {
    window_.reset();
    UnregisterWindowClass(kClass);
    ClearMessages();
    g_recorder = nullptr;
    SetBackendForTest(Backend::kHeadless);
  }
  // Takes and dispatches everything waiting; the quit codes seen.
  std::vector<uint32_t> Drain() {
    std::vector<uint32_t> quits;
    Message m;
    for (int i = 0; i < 1000 && TakeMessage(&m); ++i) {
      if (m.kind == MessageKind::kQuit)
        quits.push_back(m.code);
      else
        DispatchWindowMessage(m);
    }
    return quits;
  }
  std::vector<Received> Kinds(MessageKind kind) const {
    std::vector<Received> out;
    for (const Received& r : recorder_.messages)
      if (r.kind == kind) out.push_back(r);
    return out;
  }

  Recorder recorder_;
  std::unique_ptr<Window> window_;
  HWND hwnd_ = nullptr;
};

TEST_F(Win32Window, SystemMessagesBecomeThePlayersMessages) {
  struct Case {
    const char* what;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    MessageKind kind;
    uint32_t code;
    Point point;
  };
  const Case cases[] = {
      {"space", WM_CHAR, ' ', 0, MessageKind::kChar, CHAR_SPACE, {0, 0}},
      {"escape", WM_CHAR, 27, 0, MessageKind::kChar, CHAR_ESCAPE, {0, 0}},
      {"key", WM_KEYDOWN, VK_F5, 0, MessageKind::kKeyDown, VK_F5, {0, 0}},
      {"left down", WM_LBUTTONDOWN, 0, MAKELPARAM(17, 9), MessageKind::kLeftButtonDown, 0, {17, 9}},
      {"left up, left of the window", WM_LBUTTONUP, 0, MAKELPARAM(-5, 3),
       MessageKind::kLeftButtonUp, 0, {-5, 3}},
      {"right down", WM_RBUTTONDOWN, 0, MAKELPARAM(1, 2), MessageKind::kRightButtonDown, 0, {1, 2}},
      {"middle down", WM_MBUTTONDOWN, 0, MAKELPARAM(3, 4), MessageKind::kMiddleButtonDown, 0,
       {3, 4}},
      {"mouse move", WM_MOUSEMOVE, 0, MAKELPARAM(100, 60), MessageKind::kMouseMove, 0, {100, 60}},
      // The low four bits of a system command are the system's own.
      {"screen saver command", WM_SYSCOMMAND, SC_SCREENSAVE | 3, 0, MessageKind::kSystemCommand,
       SYSTEM_COMMAND_SCREEN_SAVE, {0, 0}},
      {"suspend", WM_POWERBROADCAST, PBT_APMSUSPEND, 0, MessageKind::kPowerBroadcast,
       POWER_SUSPEND, {0, 0}},
      {"deactivated", WM_ACTIVATEAPP, FALSE, 0, MessageKind::kActivateApp, 0, {0, 0}},
      {"activated", WM_ACTIVATEAPP, TRUE, 0, MessageKind::kActivateApp, 1, {0, 0}},
      {"focus gained", WM_SETFOCUS, 0, 0, MessageKind::kFocusGained, 0, {0, 0}},
      {"focus lost", WM_KILLFOCUS, 0, 0, MessageKind::kFocusLost, 0, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    recorder_.messages.clear();
    SendMessageA(hwnd_, c.message, c.wparam, c.lparam);
    ASSERT_FALSE(recorder_.messages.empty());
    const Received& got = recorder_.messages.front();
    EXPECT_EQ(got.kind, c.kind);
    EXPECT_EQ(got.code, c.code);
    EXPECT_EQ(got.point, c.point);
  }
}

TEST_F(Win32Window, PostedKeysArriveThroughTheQueueWithTheirCharacters) {
  PostMessageA(hwnd_, WM_KEYDOWN, VK_RETURN, 1);
  Drain();
  const auto keys = Kinds(MessageKind::kKeyDown);
  const auto chars = Kinds(MessageKind::kChar);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].code, uint32_t{VK_RETURN});
  // The system's translation makes the character.
  ASSERT_EQ(chars.size(), 1u);
  EXPECT_EQ(chars[0].code, CHAR_ENTER);
}

TEST_F(Win32Window, TheProceduresAnswersReachTheSystem) {
  recorder_.erase_answer = 1;
  EXPECT_EQ(SendMessageA(hwnd_, WM_ERASEBKGND, 0, 0), 1);
  recorder_.erase_answer = 0;
  EXPECT_EQ(SendMessageA(hwnd_, WM_ERASEBKGND, 0, 0), 0);

  // A move the system makes is adjusted by the procedure before it happens.
  recorder_.snap_x = 64;
  SetWindowPos(hwnd_, nullptr, 51, 33, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT r{};
  GetWindowRect(hwnd_, &r);
  EXPECT_EQ(r.left, 64);
  EXPECT_EQ(r.top, 33);
  EXPECT_FALSE(Kinds(MessageKind::kPositionChanged).empty());

  // The portable SetPosition sends each position message once.
  recorder_.messages.clear();
  recorder_.snap_x = 80;
  window_->SetPosition(70, 20, 300, 200, POSITION_NO_Z_ORDER);
  EXPECT_EQ(Kinds(MessageKind::kPositionChanging).size(), 1u);
  EXPECT_EQ(Kinds(MessageKind::kPositionChanged).size(), 1u);
  EXPECT_EQ(window_->OuterRect(), (Rect{80, 20, 380, 220}));
  // The client area lies inside the frame.
  const Point origin = window_->ClientOrigin();
  const Rect client = window_->ClientRect();
  EXPECT_GE(origin.x, 80);
  EXPECT_GT(origin.y, 20);  // below the caption
  EXPECT_LE(origin.x + client.right, 380);
  EXPECT_LE(origin.y + client.bottom, 220);
}

TEST_F(Win32Window, WhatTheProcedurePassesOnGetsTheSystemsDefault) {
  window_->Show(ShowCommand::kShowNormal);
  EXPECT_TRUE(window_->IsVisible());
  Drain();
  SendMessageA(hwnd_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(window_->IsIconic());
  SendMessageA(hwnd_, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(window_->IsIconic());
}

TEST_F(Win32Window, PaintingGetsTheInvalidPart) {
  window_->Show(ShowCommand::kShowNormal);
  Drain();
  recorder_.messages.clear();
  const RECT part{10, 12, 30, 40};
  InvalidateRect(hwnd_, &part, FALSE);
  UpdateWindow(hwnd_);
  ASSERT_EQ(Kinds(MessageKind::kPaint).size(), 1u);
  EXPECT_EQ(recorder_.painted, (Rect{10, 12, 30, 40}));
  // Painted and validated: no second paint.
  Drain();
  EXPECT_EQ(Kinds(MessageKind::kPaint).size(), 1u);
}

TEST_F(Win32Window, CloseDestroysAndTheQuitMessageEndsTheLoop) {
  PostMessageA(hwnd_, WM_CLOSE, 0, 0);
  Drain();
  EXPECT_EQ(Kinds(MessageKind::kClose).size(), 1u);
  ASSERT_EQ(Kinds(MessageKind::kDestroy).size(), 1u);
  EXPECT_TRUE(window_->destroyed());
  EXPECT_FALSE(IsWindow(hwnd_));
  // Queries on the gone window answer empty, not from a stale handle.
  EXPECT_EQ(win32::WindowHandleOf(window_.get()), nullptr);
  EXPECT_TRUE(window_->ClientRect().Empty());

  PostQuitMessage(3);
  EXPECT_EQ(Drain(), std::vector<uint32_t>{3});
}

TEST_F(Win32Window, DestroyFromThePlayerSendsDestroyOnce) {
  window_->Destroy();
  EXPECT_EQ(Kinds(MessageKind::kDestroy).size(), 1u);
  EXPECT_FALSE(IsWindow(hwnd_));
  window_.reset();  // nothing left to destroy
}

TEST_F(Win32Window, TheSoundWindowIsThisProgramsTopLevelWindow) {
  EXPECT_EQ(FindSoundWindow(), static_cast<void*>(hwnd_));
}

TEST_F(Win32Window, TextIsMeasuredInTheWindowsFont) {
  const Point one = window_->TextExtent("M");
  const Point three = window_->TextExtent("MMM");
  EXPECT_GT(one.x, 0);
  EXPECT_GT(one.y, 0);
  EXPECT_EQ(three.x, 3 * one.x);
  EXPECT_EQ(three.y, one.y);
  EXPECT_EQ(window_->TextExtent("").x, 0);
}

// The DIB style on a real window: what is copied into the buffer is what the
// window shows after the blit, stretched as asked.
TEST_F(Win32Window, DibSectionBufferShowsItsPixelsInTheWindow) {
  window_->Show(ShowCommand::kShowNormal);
  Drain();
  HDC screen = GetDC(nullptr);
  const int depth = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  if (depth != 32) GTEST_SKIP() << "the screen has " << depth << " bits per pixel";
  ResetDisplayStateForTest();
  ErrorText error;
  DisplayBuffer* b = BufferOpen(window_.get(), 16, 8, 2, &error);
  ASSERT_NE(b, nullptr) << error.c_str();
  EXPECT_EQ(b->style, 2);
  ASSERT_EQ(BufferSetScale(b, 32, 8), 1);
  ASSERT_EQ(BufferLock(b), 1);
  for (int y = 0; y < 8; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(b->buffer + y * b->buffer_pitch);
    for (int x = 0; x < 16; ++x) row[x] = 0x00100000u * x + 0x0101u * y * 16;
  }
  BufferUnlock(b);
  BufferBlit(b, nullptr, 1);
  HDC dc = GetDC(hwnd_);
  for (const auto& [x, y] : {std::pair{0, 0}, {5, 3}, {15, 7}}) {
    SCOPED_TRACE(testing::Message() << x << "," << y);
    const uint32_t rgb = 0x00100000u * x + 0x0101u * y * 16;
    const COLORREF want = RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF);
    // Doubled horizontally.
    EXPECT_EQ(GetPixel(dc, 2 * x, y), want);
    EXPECT_EQ(GetPixel(dc, 2 * x + 1, y), want);
  }
  ReleaseDC(hwnd_, dc);
  BufferClose(b);
}

// Each RGB style on a real window and the real DirectDraw: the pixels the copy
// writes are the pixels the window shows.
TEST_F(Win32Window, RgbStylesShowTheirPixelsInTheWindow) {
  window_->SetPosition(64, 48, 200, 150, POSITION_NO_Z_ORDER);
  window_->Show(ShowCommand::kShowNormal);
  Drain();
  HDC screen = GetDC(nullptr);
  const int depth = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  if (depth != 32) GTEST_SKIP() << "the screen has " << depth << " bits per pixel";
  struct Case {
    int32_t style;
    const char* name;
  };
  // (What is written into the primary surface reaches the screen, as the
  // playback check sees, but not Wine's GDI read-back.)
  const Case cases[] = {
      {2, "DIB Section"},
      {9, "DirectDraw RGB off-screen video surface"},
      {10, "DirectDraw RGB off-screen system surface"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetDisplayStateForTest();
    ErrorText error;
    DisplayBuffer* b = BufferOpen(window_.get(), 16, 8, static_cast<uint32_t>(c.style), &error);
    if (!b && std::strcmp(error.c_str(), "No capable blitting style available.") == 0 &&
        c.style == 9)
      continue;  // Wine without 3D has no video memory
    ASSERT_NE(b, nullptr) << error.c_str();
    EXPECT_EQ(b->style, c.style);
    ASSERT_EQ(BufferLock(b), 1);
    for (int y = 0; y < 8; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(b->buffer + y * b->buffer_pitch);
      for (int x = 0; x < 16; ++x) row[x] = 0x00110000u * x + 0x0001F00u * y + 0x40;
    }
    BufferUnlock(b);
    BufferBlit(b, nullptr, 1);
    HDC dc = GetDC(nullptr);
    const Point origin = window_->ClientOrigin();
    for (const auto& [x, y] : {std::pair{0, 0}, {9, 4}, {15, 7}}) {
      SCOPED_TRACE(testing::Message() << x << "," << y);
      const uint32_t rgb = 0x00110000u * x + 0x0001F00u * y + 0x40;
      EXPECT_EQ(GetPixel(dc, origin.x + x, origin.y + y),
                RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF));
    }
    ReleaseDC(nullptr, dc);
    BufferClose(b);
  }
}

}  // namespace
}  // namespace vexil::platform

#endif  // _WIN32
