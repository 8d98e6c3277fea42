// Hidden windows and window messages in Windows' shape.
//
// A window belongs to the thread that created it; its procedure runs only on that
// thread: in PumpMessages/PumpUntil, in the message-dispatching waits, or directly
// when SendMessage is called on the owner thread. Handles are 32-bit and valid across
// processes: a message to a window of another process travels over a local datagram
// socket of that process (same user only) and is dispatched on the owning thread.
#pragma once

#include <functional>
#include <string>

#include "platform/sync/sync.h"
#include "platform/wintypes.h"

using WNDPROC = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// Creates a hidden window owned by the calling thread. `name` (may be null) is the
// window's title, findable by FindWindow from any process of the same user and prefix.
HWND CreateHiddenWindow(WNDPROC proc, const char* name = nullptr);
// Destroys a window (owner thread or any thread). Sends waiting on it complete as not
// delivered; posted messages are dropped.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);                 // exists (in any process) and its owner is alive
DWORD GetWindowThreadId(HWND hwnd);       // owner thread of a window of this process, else 0
DWORD GetWindowProcessId(HWND hwnd);      // owner process, 0 when none
HWND FindWindow(const char* name);        // first live window with that title, 0 when none

// Queues a message for the window's owner thread. FALSE when the window is gone.
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Result of a send.
enum class SendStatus { Delivered, NotDelivered, TimedOut };

// Sends a message and waits until the owner thread has run the window procedure.
// On the owner thread the procedure is called directly. While waiting, the sending
// thread dispatches messages sent to its own windows (so two threads sending to each
// other do not dead-lock). NotDelivered: the window does not exist, was destroyed or
// its owner died, or the message was removed by RemovePendingMessages before dispatch.
// `timeoutMs` INFINITE waits for the dispatch (still ending when the window goes away).
SendStatus SendMessageEx(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result,
                         DWORD timeoutMs = INFINITE);
// Windows' SendMessage: the procedure's result, 0 when not delivered.
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Removes the calling thread's pending messages with number `msg` (posted and sent, for
// all its windows, or only for `hwnd` when it is not 0). Removed sends complete as not
// delivered. Messages from other processes already received are included. Returns the
// number removed.
int RemovePendingMessages(UINT msg, HWND hwnd = 0);

// Dispatches every message now waiting for the calling thread. Returns the number run.
// Returns after a WM_QUIT was dispatched (PostQuitMessage); `quit` tells.
int PumpMessages(bool* quit = nullptr);
// Dispatches the calling thread's messages until `pred()` holds or `timeoutMs` passed
// on the process clock. Returns pred()'s last value.
bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs);
// Runs the calling thread's message loop until PostQuitMessage is dispatched.
int RunMessageLoop();
void PostQuitMessage(int exitCode);

// Message-dispatching waits (the base library's SleepWPM and WaitForSingleObjectWPM):
// wait while dispatching the calling thread's messages.
void SleepWPM(DWORD ms);
DWORD WaitForSingleObjectWPM(HANDLE h, DWORD ms);
DWORD WaitForMultipleObjectsWPM(DWORD count, const HANDLE* handles, DWORD ms);

// Same number for the same name (ASCII case ignored) in every process of the same
// prefix: 0xC000..0xFFFF; 0 when the table is full or the name is empty.
UINT RegisterWindowMessage(const char* name);
