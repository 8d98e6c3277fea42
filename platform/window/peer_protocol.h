// Messages understood by window_peer, the second process of the cross-process tests and
// the benchmark. Usage: window_peer <title> <message name> <report hwnd or 0>.
// At start it registers <message name>, creates a window titled <title> and posts
// kPeerReady(its hwnd, its pid) to <report hwnd>; it exits when the window gets WM_CLOSE.
#pragma once

#include "platform/window/window.h"

constexpr UINT kPeerEcho = WM_USER + 1;     // returns wParam + lParam
constexpr UINT kPeerForward = WM_USER + 2;  // posts kPeerForwarded(lParam) to hwnd wParam
constexpr UINT kPeerForwarded = WM_USER + 3;
constexpr UINT kPeerQueryRegistered = WM_USER + 4;  // returns its number for <message name>
// Sends kPeerCalledBack(lParam) to hwnd wParam and returns that result + 1.
constexpr UINT kPeerCallBack = WM_USER + 5;
constexpr UINT kPeerCalledBack = WM_USER + 6;
constexpr UINT kPeerReady = WM_USER + 7;
constexpr LRESULT kPeerRegisteredAnswer = 42;  // its answer to the registered message
