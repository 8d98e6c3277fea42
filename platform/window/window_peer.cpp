// The second process of the cross-process window tests and benchmark (peer_protocol.h).
#include <cstdlib>

#include "platform/window/peer_protocol.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const UINT registered = RegisterWindowMessage(argv[2]);
    const HWND report = static_cast<HWND>(std::strtoul(argv[3], nullptr, 0));
    HWND self = CreateHiddenWindow(
        [registered](HWND, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (registered != 0 && msg == registered) return kPeerRegisteredAnswer;
            switch (msg) {
                case kPeerEcho:
                    return static_cast<LRESULT>(wParam) + lParam;
                case kPeerForward:
                    PostMessage(static_cast<HWND>(wParam), kPeerForwarded, 0, lParam);
                    return 0;
                case kPeerQueryRegistered:
                    return registered;
                case kPeerCallBack:
                    return SendMessage(static_cast<HWND>(wParam), kPeerCalledBack, 0, lParam) + 1;
                case WM_CLOSE:
                    PostQuitMessage(0);
                    return 0;
                default:
                    return 0;
            }
        },
        argv[1]);
    if (self == 0) return 3;
    if (report != 0 && !PostMessage(report, kPeerReady, self, GetCurrentProcessId())) return 4;
    int code = RunMessageLoop();
    DestroyWindow(self);
    return code;
}
