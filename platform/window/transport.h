// Cross-process delivery of window messages (internal).
//
// Each process has one endpoint: an abstract AF_UNIX datagram socket named
// "\0<prefix>/p/<pid>", bound on first use, with one receiver thread that checks each
// datagram (size, magic, kind, sender is the same user and the pid it claims) and moves
// it into the owner thread's queue; it never runs a window procedure. A cross-process
// send waits for a reply datagram; the receiver thread also looks every 100 ms whether
// the targets of waiting sends still exist, so a send to a process that died ends.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <cstdint>
#include <memory>

#include "platform/window/queue.h"

namespace plat::win {

enum class WireKind : uint32_t { Post = 1, Send = 2, Reply = 3, Cancel = 4 };

constexpr uint32_t kWireMagic = 0x314D574Bu;

// One datagram. All fields are fixed size; the receiver accepts exactly this size.
struct Wire {
    uint32_t magic;
    uint32_t kind;  // WireKind
    uint32_t hwnd;
    uint32_t msg;
    uint64_t wParam;
    int64_t lParam;
    uint32_t senderPid;
    uint32_t status;  // SendStatus of a reply
    uint64_t seq;     // a send and its reply or cancel
    int64_t result;
};
static_assert(sizeof(Wire) == 56);

// Binds this process's endpoint and starts its receiver thread (once). False when the
// endpoint is unavailable.
bool TransportStart();
// Sends `w` (magic and sender pid filled in) to process `pid`. 0 or an errno value:
// ECONNREFUSED when the process has no endpoint (it is gone), EAGAIN when its queue
// stayed full for the bounded wait. `noWait` fails at once on a full queue.
int TransportSend(uint32_t pid, Wire w, bool noWait);
// Replies to a send from another process (no lock held).
void TransportReply(const RemoteOrigin& to, SendStatus status, LRESULT result, bool noWait);
// True unless the process certainly has no endpoint (a dead or zombie process).
bool EndpointExists(uint32_t pid);
// The endpoint address of process `pid`; returns the address length.
socklen_t EndpointAddress(uint32_t pid, sockaddr_un* addr);

// A send to another process waiting for its reply (hub locked). The receiver thread
// completes `rec` when the reply comes or the target is gone.
uint64_t AddPendingLocked(const std::shared_ptr<SendRecord>& rec, uint32_t pid, HWND hwnd);
void RemovePendingLocked(uint64_t seq);

}  // namespace plat::win
