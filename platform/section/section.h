// Named shared data sections (POSIX shared memory) and the helpers that cross-process
// tables build on.
//
// A section is all zero for the first process that attaches while no other process
// holds it, decided with file locks so that a crashed process can never leave it
// stale. Names are prefixed with KAVRO_IPC_PREFIX (default "kavro-opos-<uid>") so that
// parallel test runs never meet.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/wintypes.h"

namespace plat {

// The IPC prefix of this process (KAVRO_IPC_PREFIX, else "kavro-opos-<uid>").
std::string IpcPrefix();

class SharedSection {
public:
    // Attaches to (creating if needed) the section `name` of `size` bytes. `init` runs
    // once, on the zeroed memory, in the first process to attach (before any other can
    // see it). Returns nullptr and sets `error` (errno text) on failure.
    static std::unique_ptr<SharedSection> Attach(const std::string& name, size_t size,
                                                 const std::function<void(void*)>& init = {},
                                                 std::string* error = nullptr);
    ~SharedSection();  // detaches; the memory lives while another process holds it
    SharedSection(const SharedSection&) = delete;
    SharedSection& operator=(const SharedSection&) = delete;

    void* data() const { return data_; }
    size_t size() const { return size_; }
    bool createdHere() const { return created_; }  // this process zeroed it

private:
    SharedSection() = default;
    void* data_ = nullptr;
    size_t size_ = 0;
    bool created_ = false;
    int presenceFd_ = -1;
    std::string shmName_;
};

// A process-shared, robust mutex to place inside a section (initialise it in `init`).
// Lock() returns true when the previous owner died while holding it; the caller then
// repairs the data it guards before relying on it (the mutex is made consistent).
struct SectionMutex {
    alignas(64) unsigned char storage[64];
    void Init();
    bool Lock();
    void Unlock();
};

class SectionLock {
public:
    explicit SectionLock(SectionMutex& m) : m_(m) { ownerDied_ = m_.Lock(); }
    ~SectionLock() { m_.Unlock(); }
    SectionLock(const SectionLock&) = delete;
    SectionLock& operator=(const SectionLock&) = delete;
    bool ownerDied() const { return ownerDied_; }

private:
    SectionMutex& m_;
    bool ownerDied_;
};

// Owner tokens for claim entries: a process's token encodes its pid; a token whose
// process is gone counts as free.
using OwnerToken = uint32_t;
OwnerToken SelfToken();                // this process (never 0)
bool TokenAlive(OwnerToken token);      // 0 or a dead process: false

// A claim entry in a section: 0 = free, else the owner's token. Taken by compare-and-
// swap only; a dead owner's entry is taken over by CAS from that dead token.
static_assert(std::atomic<uint32_t>::is_always_lock_free);
struct ClaimEntry {
    std::atomic<uint32_t> owner;
    // Takes the entry for `self` when free or held by a dead owner. True when this
    // process now holds it (also when it already did).
    bool TryClaim(OwnerToken self = SelfToken());
    // Releases it when `self` holds it; false otherwise.
    bool Release(OwnerToken self = SelfToken());
    // Current live owner, or 0.
    OwnerToken LiveOwner() const;
};

}  // namespace plat
