// The player window: a thin mirror of the window-system calls the player and
// the display buffer make. A window belongs to a registered class whose
// procedure receives the window's messages; the player pumps the process's
// message queue and dispatches what it takes.
//
// Each back end derives its window from `Window` (headless: a record tests
// move, resize and send messages to; SDL: an SDL_Window whose events become
// these messages; Win32: an HWND) and feeds the one queue below. Messages
// the system sends (position changes, destruction, painting on request) reach
// the procedure at once; events the user makes arrive through the queue.
//
// Player thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/backend.h"

namespace vexil::platform {

struct Point {
  int32_t x;
  int32_t y;

  bool operator==(const Point&) const = default;
};

// Left, top inclusive; right, bottom exclusive (screen or client pixels).
struct Rect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;

  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect&) const = default;
};

class Window;

// --- messages ---

enum class MessageKind {
  kDestroy,      // the window is being destroyed
  kFocusGained,  // keyboard focus
  kFocusLost,
  kPaint,             // part of the client area needs drawing (see Window::BeginPaint)
  kEraseBackground,   // answer 1: the background was dealt with
  kActivateApp,       // code 1: this application became active, 0: it was deactivated
  kPositionChanging,  // `position` proposed; the procedure may change x and y
  kPositionChanged,   // `position` as applied
  kKeyDown,           // code: the key
  kLeftButtonDown,    // point: client pixels
  kRightButtonDown,
  kMiddleButtonDown,
  kLeftButtonUp,
  kChar,            // code: the character the key made
  kSystemCommand,   // code: SYSTEM_COMMAND_*
  kMouseMove,       // point: client pixels
  kPowerBroadcast,  // code: POWER_*
  kClose,           // the user asked to close (default: destroy the window)
  kQuit,            // the loop should end; code: the exit code given to PostQuit
};

// Characters.
constexpr uint32_t CHAR_ENTER = 13;
constexpr uint32_t CHAR_ESCAPE = 27;
constexpr uint32_t CHAR_SPACE = 32;
constexpr uint32_t CHAR_PERIOD = '.';

// System commands (the values the Win32 back end passes through).
constexpr uint32_t SYSTEM_COMMAND_NEXT_WINDOW = 0xF040;
constexpr uint32_t SYSTEM_COMMAND_PREVIOUS_WINDOW = 0xF050;
constexpr uint32_t SYSTEM_COMMAND_CLOSE = 0xF060;
constexpr uint32_t SYSTEM_COMMAND_SCREEN_SAVE = 0xF140;

// Power broadcast events.
constexpr uint32_t POWER_QUERY_SUSPEND = 0x0000;
constexpr uint32_t POWER_SUSPEND = 0x0004;

// Position flags (SetPosition and the position messages).
constexpr uint32_t POSITION_NO_SIZE = 0x0001;
constexpr uint32_t POSITION_NO_MOVE = 0x0002;
constexpr uint32_t POSITION_NO_Z_ORDER = 0x0004;
constexpr uint32_t POSITION_FRAME_CHANGED = 0x0020;  // the frame is drawn again

// An outer window rectangle as x, y, width, height.
struct WindowPosition {
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
  uint32_t flags;
};

struct Message {
  Window* window = nullptr;  // null for kQuit
  MessageKind kind = MessageKind::kQuit;
  uint32_t code = 0;
  Point point = {0, 0};
  WindowPosition* position = nullptr;  // the position messages only
};

using WindowProcedure = intptr_t (*)(Window* window, const Message& message);

// What a window does with a message its procedure passes on: kClose destroys
// the window, every other message is answered 0.
intptr_t DefaultWindowProcedure(Window* window, const Message& message);

// --- classes and creation ---

// Styles (their Win32 values).
constexpr uint32_t WINDOW_POPUP = 0x80000000u;
constexpr uint32_t WINDOW_CHILD = 0x40000000;
constexpr uint32_t WINDOW_CLIP_CHILDREN = 0x02000000;
constexpr uint32_t WINDOW_CAPTION = 0x00C00000;
constexpr uint32_t WINDOW_SYSTEM_MENU = 0x00080000;
constexpr uint32_t WINDOW_MINIMIZE_BOX = 0x00020000;
// Extended styles.
constexpr uint32_t WINDOW_EX_DIALOG_FRAME = 0x00000001;
constexpr uint32_t WINDOW_EX_TOPMOST = 0x00000008;

// The system chooses the position.
constexpr int32_t kDefaultWindowPosition = INT32_MIN;

// Resources of the program: its icon and the blank cursor.
constexpr int32_t kIconResource = 101;
constexpr int32_t kBlankCursorResource = 101;

struct WindowClass {
  std::string name;
  WindowProcedure procedure = nullptr;
  int32_t icon = 0;    // resource number, 0: none
  int32_t cursor = 0;  // resource number of a cursor, 0: the standard arrow
};

// False when a class of that name exists already (or the system refuses).
bool RegisterWindowClass(const WindowClass& window_class);
void UnregisterWindowClass(const std::string& name);

struct WindowCreation {
  std::string class_name;
  std::string title;
  uint32_t style = 0;
  uint32_t ex_style = 0;
  int32_t x = kDefaultWindowPosition;
  int32_t y = kDefaultWindowPosition;
  int32_t width = 0;
  int32_t height = 0;
  intptr_t parent = 0;  // a system window number, 0: none
  void* user_data = nullptr;
};

// A hidden window of a registered class in the active back end; null when
// the class is unknown or the system cannot make one. The window lives until
// the object is released: Destroy only ends its messages and hides it, so
// that display buffers on it can still be closed afterwards.
std::unique_ptr<Window> OpenWindow(const WindowCreation& creation);

// --- the message queue ---

// Takes the next message off the queue (first letting the back end turn its
// pending events into messages); false when none is waiting. A window with
// part of its client area invalid makes a kPaint when nothing else waits.
bool TakeMessage(Message* message);
// Hands a message to its window's procedure (kQuit goes nowhere).
void DispatchWindowMessage(const Message& message);
// Queues a message for its window.
void PostWindowMessage(const Message& message);
// Queues kQuit with the exit code.
void PostQuit(int32_t exit_code);
// Empties the queue (a player run that ends leaves nothing for the next).
void ClearMessages();
// Asks every window to close (kClose) at the next TakeMessage. Safe to call
// from a signal handler, so that an interrupted player still ends in order.
void RequestWindowsClose();
// True while such a request waits for TakeMessage (a modal box ends on it).
bool WindowsCloseRequested();

enum class ShowCommand { kHide, kShowNormal };

class Window {
 public:
  virtual ~Window();

  // --- what the display buffer asks ---
  // Which back end made the window; a display device only accepts its own.
  virtual Backend Kind() const = 0;
  // The outer rectangle, frame included, in screen pixels.
  virtual Rect OuterRect() const = 0;
  // The client area's top-left corner in screen pixels.
  virtual Point ClientOrigin() const = 0;
  // The client area's size (left and top are 0).
  virtual Rect ClientRect() const = 0;
  virtual bool IsVisible() const = 0;
  virtual bool IsIconic() const = 0;

  // --- what the player does with it ---
  virtual void SetTitle(const std::string& title) {}
  virtual void Show(ShowCommand command) {}
  // Black over `client_rect` (clipped to the client area).
  virtual void FillBlack(const Rect& client_rect) {}
  // Width and height of one line of text in the window's font.
  virtual Point TextExtent(const std::string& text) { return {0, 0}; }
  // One line centred horizontally on `client_rect`, top-aligned, clipped to it,
  // on an opaque background filling it. Colours are 0xRRGGBB.
  virtual void DrawTextLine(const std::string& text, const Rect& client_rect, uint32_t colour,
                            uint32_t background) {}

  // Moves and sizes the outer window: the procedure sees kPositionChanging
  // (and may change x and y) before, kPositionChanged after.
  void SetPosition(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t flags);
  // Marks part of the client area (null: all of it) for painting.
  void Invalidate(const Rect* client_rect);
  // Paints now when something is invalid.
  void Update();
  // In a kPaint handler: the invalid part of the client area, now valid again.
  Rect BeginPaint();
  // Sends kDestroy (once) and hides the window; its messages end.
  void Destroy();
  bool destroyed() const { return destroyed_; }

  intptr_t Send(const Message& message);
  intptr_t Send(MessageKind kind, uint32_t code = 0);
  bool invalid() const { return !invalid_.Empty(); }

  const WindowClass& window_class() const { return class_; }
  void* user_data() const { return user_data_; }
  uint32_t style() const { return style_; }
  uint32_t ex_style() const { return ex_style_; }

 protected:
  Window() = default;
  // Back ends: fill in what creation decided.
  void Attach(const WindowClass& window_class, const WindowCreation& creation);
  // Moves and sizes the outer window without any message.
  virtual void Place(const WindowPosition& position) {}
  // The system part of Destroy.
  virtual void OnDestroy() {}

 private:
  WindowClass class_;
  void* user_data_ = nullptr;
  uint32_t style_ = 0;
  uint32_t ex_style_ = 0;
  Rect invalid_ = {0, 0, 0, 0};
  bool destroyed_ = false;
};

using WindowHandle = Window*;

}  // namespace vexil::platform
