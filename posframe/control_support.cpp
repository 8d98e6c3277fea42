#include "posframe/control_support.h"

#include <cstdio>

#include "platform/registry/registry.h"

void GetInstanceID(InstanceCounter& counter, LONG* id) {
    std::lock_guard<std::mutex> g(counter.lock);
    LONG next = 1;
    for (LONG used : counter.used) {
        if (used != next) break;
        ++next;
    }
    counter.used.insert(next);
    if (id) *id = next;
}

void ResetInstanceID(InstanceCounter& counter, LONG id) {
    std::lock_guard<std::mutex> g(counter.lock);
    counter.used.erase(id);
}

BOOL UpdateServiceInfo(const std::string& entryKey, const std::string& soDescription,
                       LONG soVersion) {
    if (entryKey.empty()) return FALSE;
    bool ok = plat::reg::SetString(entryKey, "ServiceObjectDescription", soDescription) ==
                  ERROR_SUCCESS &&
              plat::reg::SetDword(entryKey, "ServiceObjectVersion",
                                  static_cast<DWORD>(soVersion)) == ERROR_SUCCESS;
    return ok ? TRUE : FALSE;
}

std::string EventMutexName() {
    char name[64];
    std::snprintf(name, sizeof name, "KAVRO.OPOS.EvtMtx.%lX",
                  static_cast<unsigned long>(GetCurrentProcessId()));
    return name;
}

LONG EnterEventCS(const std::string& mutexName, HANDLE* context, HANDLE freezeEvent,
                  HANDLE closeEvent) {
    if (context) *context = nullptr;
    HANDLE mutex = CreateMutex(FALSE, mutexName.c_str());
    if (!mutex) return 3;
    auto gateClosed = [&]() -> LONG {
        if (closeEvent && WaitForSingleObject(closeEvent, 0) == WAIT_OBJECT_0) return 1;
        if (freezeEvent && WaitForSingleObject(freezeEvent, 0) == WAIT_OBJECT_0) return 2;
        return 0;
    };
    if (LONG r = gateClosed()) {
        CloseHandle(mutex);
        return r;
    }
    HANDLE objs[3];
    DWORD n = 0;
    if (closeEvent) objs[n++] = closeEvent;
    if (freezeEvent) objs[n++] = freezeEvent;
    const DWORD mutexIndex = n;
    objs[n++] = mutex;
    // Another control's handler may run long; the wait ends as soon as this control is
    // closed or frozen.
    DWORD w = WaitForMultipleObjects(n, objs, FALSE, INFINITE);
    if (w != WAIT_OBJECT_0 + mutexIndex && w != WAIT_ABANDONED_0 + mutexIndex) {
        LONG r = gateClosed();
        CloseHandle(mutex);
        return r ? r : 3;
    }
    if (LONG r = gateClosed()) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
        return r;
    }
    if (context) *context = mutex;
    return 0;
}

void LeaveEventCS(HANDLE context) {
    if (!context) return;
    ReleaseMutex(context);
    CloseHandle(context);
}

namespace {
std::mutex g_drawLock;
std::string g_lastCaption;
}  // namespace

void COOnDraw(void*, const DrawBounds&, const std::string& caption, void*, LONG) {
    std::lock_guard<std::mutex> g(g_drawLock);
    g_lastCaption = caption;
}

std::string LastDrawnCaption() {
    std::lock_guard<std::mutex> g(g_drawLock);
    return g_lastCaption;
}
