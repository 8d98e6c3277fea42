// The window table shared by the processes of one IPC prefix (internal).
//
// One shared section holds the windows of every process {handle, owner pid, title}
// and the registered message names. Handles are never 0: the low 12 bits are the row,
// the high 20 bits a generation counter of the section, so a handle stays unique
// across 2^20 creations. Rows of dead processes count as free.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/wintypes.h"

namespace plat::win {

constexpr size_t kMaxTitle = 63;  // longest window title, in bytes

// Takes a row for a new window of this process (unnamed until PublishTitle).
// 0 when the table is unavailable or full.
HWND TableClaim();
// Makes the window findable by `title` (non-empty, at most kMaxTitle bytes).
void TablePublishTitle(HWND hwnd, const char* title);
// Frees the row of a window of this process.
void TableRelease(HWND hwnd);
// Owner pid of a live window (its process exists), nullopt otherwise.
std::optional<uint32_t> TableOwner(HWND hwnd);
// First live window with that title (ASCII case ignored), else 0.
HWND TableFind(const char* title);
// Registered message number for `name`, 0 when the table is full or the name invalid.
UINT TableRegisterMessage(const char* name);

}  // namespace plat::win
