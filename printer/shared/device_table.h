// The cross-process device table of a printer library: claim flags per port index and
// device kind, the printer busy flag, and the drawer state of each port index, in one
// named shared section that every process loading the library attaches.
//
// Claims record their owner process and are taken by compare-and-swap; a dead owner's
// claim counts as free and is taken over. Only one holder per process and port: a claim
// that this process already holds is refused like any other held claim. Port indexes
// outside 1..1000 and drawer rows beyond their 32 entries are refused, never written.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/section/section.h"
#include "platform/wintypes.h"

enum class ClaimKind { Printer, Display, Drawer, Drawer2, Micr };  // Drawer2: the pin-5 drawer
enum class DrawerFlag { Opened, StatusLost, ReEnable, StatusActive };

class SharedDeviceTable {
  public:
    static constexpr LONG kPorts = 1000;
    static constexpr int kDrawerRowSize = 32;  // open drawer objects per port index
    static constexpr int kClaimKinds = 5;
    static constexpr int kDrawerFlags = 4;

    // The section "<libName>.devtab" (the library name keeps builds apart).
    static std::unique_ptr<SharedDeviceTable> Attach(const std::string& libName,
                                                     std::string* error = nullptr);
    ~SharedDeviceTable();
    SharedDeviceTable(const SharedDeviceTable&) = delete;
    SharedDeviceTable& operator=(const SharedDeviceTable&) = delete;

    // True when this process now holds the claim; false when it is held by a live
    // process (this one included) or the index is out of range.
    bool TryClaim(ClaimKind kind, LONG portIndex);
    // Gives the claim up when this process holds it; false otherwise (a loser can never
    // clear the winner's claim).
    bool Release(ClaimKind kind, LONG portIndex);
    // The live owner's process id, or 0.
    DWORD ClaimOwner(ClaimKind kind, LONG portIndex) const;
    bool Claimed(ClaimKind kind, LONG portIndex) const { return ClaimOwner(kind, portIndex) != 0; }

    // The printer's State is busy or error (set by the process holding the printer).
    bool SetPrinterBusy(LONG portIndex, bool busy);
    bool PrinterBusy(LONG portIndex) const;

    // Drawer state values; Set is false and Get 0 for an index out of range.
    bool SetDrawerFlag(DrawerFlag flag, LONG portIndex, LONG value);
    LONG GetDrawerFlag(DrawerFlag flag, LONG portIndex) const;

    // The hidden windows of the open drawer objects of a port index, in opening order.
    // Add is false for an index out of range, window 0 or a full row (a window already
    // in the row is not added twice). Remove is false when the window is not in the row.
    // Entries of dead processes are dropped.
    bool AddDrawerWindow(LONG portIndex, HWND window);
    bool RemoveDrawerWindow(LONG portIndex, HWND window);
    std::vector<HWND> DrawerWindows(LONG portIndex) const;

    struct Layout;

  private:
    SharedDeviceTable() = default;
    std::unique_ptr<plat::SharedSection> section_;
    Layout* layout_ = nullptr;
};
