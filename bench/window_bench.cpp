// Round trips of SendMessage: to a window of another thread, and of another process
// (window_peer, found beside this program).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "platform/window/peer_protocol.h"

extern char** environ;

namespace {

const bool g_prefix = [] {
    setenv("KAVRO_IPC_PREFIX", ("kwb-" + std::to_string(getpid())).c_str(), 1);
    return true;
}();

void SendCrossThread(benchmark::State& state) {
    auto made = std::make_shared<std::promise<HWND>>();
    std::thread owner([made] {
        HWND h = CreateHiddenWindow([](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_CLOSE) PostQuitMessage(0);
            return static_cast<LRESULT>(w) + l;
        });
        made->set_value(h);
        RunMessageLoop();
        DestroyWindow(h);
    });
    HWND h = made->get_future().get();
    for (auto _ : state) benchmark::DoNotOptimize(SendMessage(h, WM_USER, 1, 2));
    PostMessage(h, WM_CLOSE, 0, 0);
    owner.join();
}
BENCHMARK(SendCrossThread)->UseRealTime();

void SendCrossProcess(benchmark::State& state) {
    HWND peer = 0;
    HWND self = CreateHiddenWindow([&](HWND, UINT m, WPARAM w, LPARAM) -> LRESULT {
        if (m == kPeerReady) peer = static_cast<HWND>(w);
        return 0;
    });
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string path = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string();
    path = path.substr(0, path.rfind('/') + 1) + "window_peer";
    std::string title = "Kavro Bench Peer", name = "Kavro.Bench", report = std::to_string(self);
    char* argv[] = {path.data(), title.data(), name.data(), report.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0 ||
        !PumpUntil([&] { return peer != 0; }, 10000)) {
        state.SkipWithError("window_peer did not start");
        if (pid > 0) kill(pid, SIGKILL);
    } else {
        for (auto _ : state) benchmark::DoNotOptimize(SendMessage(peer, kPeerEcho, 1, 2));
        PostMessage(peer, WM_CLOSE, 0, 0);
    }
    if (pid > 0) waitpid(pid, nullptr, 0);
    DestroyWindow(self);
}
BENCHMARK(SendCrossProcess)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
