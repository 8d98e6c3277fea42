// The port driver contract: every printer-family service object reaches its device
// through one driver object per port. The driver owns the port, a queue of output
// blocks and the threads that write the queue and read the device; it calls back into
// the registered service objects (CSvcBase's DataUpdate, OutputDataComplete, PortError,
// PowerReport) from those threads.
#pragma once

#include <string>

#include "include/portdrv.h"
#include "platform/wintypes.h"

class CSvcBase;

// The arguments of PortOpen that differ between drivers.
struct PortOpenOptions {
    unsigned long pipe = 0;  // USB: 0 printer pipe, 1 display pipe
    LONG readSize = 31;      // the most bytes one DataUpdate call carries
    int forceDtr = 0;        // serial: handshake mode 1 -> 3 and 2 -> 4
};

class CPortDriver {
public:
    virtual ~CPortDriver() = default;

    // Registers `svc` on the port of device entry `deviceName` (its name under the
    // class key; the driver reads its settings from the entry). The first registration
    // opens the port and starts the threads; later ones only add `svc`.
    // PD_OK, PD_E_OPEN, PD_E_NOPORT, PD_E_INUSE.
    virtual LONG PortOpen(const char* deviceName, CSvcBase* svc, const PortOpenOptions& options) = 0;

    // Unregisters `svc`; PD_E_BUSY while the driver's rule keeps its output, PD_E_NOTOPEN
    // for an unknown `svc`. After it returns PD_OK no callback reaches `svc` (unless it
    // was called from inside a callback to `svc`, which then finishes first).
    // The last registration closes the port and stops the threads.
    virtual LONG PortClose(CSvcBase* svc) = 0;

    // Copies and queues a block; never waits for the write.
    //   errorTag       argument of svc->PortError when the block cannot be delivered
    //   svc            owner; null = anonymous block, no callbacks
    //   priority       behind the last queued priority block, ahead of ordinary blocks,
    //                  never ahead of the block being written
    //   flowMode       transport specific (USB flow control, serial handshake)
    //   completionTag  argument of svc->OutputDataComplete once written whole
    //   awaitReply     after the write, wait up to 1000 ms for input before the next block
    // PD_OK, PD_E_NOTOPEN, PD_E_NOPOWER. A zero-length block completes without a write.
    virtual LONG PortOutputData(const char* data, unsigned long length, LONG errorTag,
                                CSvcBase* svc, int priority, int flowMode, LONG completionTag,
                                int awaitReply) = 0;
    // The string overload: the string's byte length is the block length.
    LONG PortOutputData(const std::string& bytes, LONG errorTag, CSvcBase* svc, int priority,
                        int flowMode, LONG completionTag, int awaitReply) {
        return PortOutputData(bytes.data(), bytes.size(), errorTag, svc, priority, flowMode,
                              completionTag, awaitReply);
    }

    // Drops every queued block of `svc` that is not being written; the block being written,
    // when it is `svc`'s, is abandoned at the next check with `purgeDevice`, else finished.
    // PD_OK, PD_E_NOTOPEN, PD_E_PARAM (null svc, where the driver requires one).
    virtual LONG ClearOutputBuffer(CSvcBase* svc, int purgeDevice) = 0;
};
