// Base-library functions that controls use: instance ids, service info, the event gate,
// strings for the container and the design-time face.
#pragma once

#include <mutex>
#include <set>
#include <string>

#include "platform/sync/sync.h"
#include "platform/wintypes.h"

// Instance ids of one control library: the lowest id from 1 not used by a live control.
struct InstanceCounter {
    std::mutex lock;
    std::set<LONG> used;
};
void GetInstanceID(InstanceCounter& counter, LONG* id);
void ResetInstanceID(InstanceCounter& counter, LONG id);

// Writes the service object's description and version into its device entry (values
// "ServiceObjectDescription" and "ServiceObjectVersion") after a successful Open.
BOOL UpdateServiceInfo(const std::string& entryKey, const std::string& soDescription,
                       LONG soVersion);

// The event gate: events of all controls of a process are fired one at a time, none
// while the container has frozen the control's events, none once Close has begun.
// EnterEventCS waits for the recursive named mutex `mutexName` (created on first use)
// unless `closeEvent` or `freezeEvent` is signalled first. Returns 0 = fire now (then
// call LeaveEventCS with the context), 1 = closing, 2 = frozen, 3 = the mutex could not
// be had.
LONG EnterEventCS(const std::string& mutexName, HANDLE* context, HANDLE freezeEvent,
                  HANDLE closeEvent);
void LeaveEventCS(HANDLE context);
// "KAVRO.OPOS.EvtMtx.%lX" with this process's id.
std::string EventMutexName();

// A string handed to the container (strings are byte strings: this is a copy).
inline std::string AllocSysString(const std::string& text) { return text; }

// Draws the design-time face; here it records the caption (LastDrawnCaption).
struct DrawBounds {
    LONG left = 0, top = 0, right = 0, bottom = 0;
};
void COOnDraw(void* dc, const DrawBounds& bounds, const std::string& caption, void* module,
              LONG style);
std::string LastDrawnCaption();
