// Named shared sections: POSIX shared memory whose first-attach zeroing is decided with
// two flock()ed files per section, and the robust mutex and claim helpers placed in them.
//
// "<prefix>.<name>.lock" serialises attach and detach. "<prefix>.<name>.presence" is held
// shared by every process attached; an attacher that can take it exclusively (under the
// lock) knows nobody holds the section and zeroes it. The kernel drops a dead process's
// locks, so a crash never leaves the section looking held.
#include "platform/section/section.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

namespace plat {

namespace {

// One mapping per section per process: flock locks belong to an open file description, so
// a second attach in the same process must share the first one's mapping and presence
// lock instead of taking its own (which would see the section as held by "another").
struct Mapping {
    void* data = nullptr;
    size_t size = 0;
    int presenceFd = -1;
    bool created = false;
    int refs = 0;
};

struct Registry {
    std::mutex mutex;
    std::map<std::string, Mapping> byName;  // key: shm name ("/<prefix>.<name>")
};

// Never destroyed: sections may be detached by static destructors of other objects.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

std::string ErrnoText(const char* what, int err) {
    return std::string(what) + ": " + std::strerror(err);
}

// Folder of the lock files: /dev/shm when usable, else $TMPDIR, else /tmp.
std::string LockDir() {
    struct stat st {};
    if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    const char* tmp = std::getenv("TMPDIR");
    if (tmp != nullptr && tmp[0] == '/') return tmp;
    return "/tmp";
}

int Flock(int fd, int op) {
    int rc;
    do {
        rc = ::flock(fd, op);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

int OpenLockFile(const std::string& path, bool create) {
    int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0);
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0600);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Takes the attach lock. A detaching process may unlink the lock file while we wait on
// it, so after locking we check that the path still names the file we locked.
int AcquireAttachLock(const std::string& path, std::string* error) {
    constexpr int kAttempts = 100;  // each retry means another process removed the file
    for (int i = 0; i < kAttempts; ++i) {
        int fd = OpenLockFile(path, true);
        if (fd < 0) {
            *error = ErrnoText(path.c_str(), errno);
            return -1;
        }
        if (Flock(fd, LOCK_EX) != 0) {
            *error = ErrnoText(path.c_str(), errno);
            ::close(fd);
            return -1;
        }
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            return fd;
        ::close(fd);
    }
    *error = path + ": lock file keeps being replaced";
    return -1;
}

bool ValidName(const std::string& s) {
    return !s.empty() && s.find('/') == std::string::npos && s.find('\0') == std::string::npos;
}

struct Paths {
    std::string shm, lock, presence;
};

Paths PathsFor(const std::string& full) {
    std::string base = LockDir() + "/" + full;
    return {"/" + full, base + ".lock", base + ".presence"};
}

// Under the attach lock: maps the section, zeroing and initialising it when nobody holds
// it, and leaves `m.presenceFd` holding the presence file shared.
bool MapUnderLock(const Paths& p, size_t size, const std::function<void(void*)>& init, Mapping& m,
                  std::string* error) {
    int pfd = OpenLockFile(p.presence, true);
    if (pfd < 0) {
        *error = ErrnoText(p.presence.c_str(), errno);
        return false;
    }
    bool first = Flock(pfd, LOCK_EX | LOCK_NB) == 0;
    if (!first && errno != EWOULDBLOCK) {
        *error = ErrnoText(p.presence.c_str(), errno);
        ::close(pfd);
        return false;
    }
    int sfd = ::shm_open(p.shm.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (sfd < 0) {
        *error = ErrnoText(p.shm.c_str(), errno);
        ::close(pfd);
        return false;
    }
    bool ok = true;
    if (first) {
        if (::ftruncate(sfd, static_cast<off_t>(size)) != 0) {
            *error = ErrnoText(p.shm.c_str(), errno);
            ok = false;
        }
    } else {
        struct stat st {};
        if (::fstat(sfd, &st) != 0) {
            *error = ErrnoText(p.shm.c_str(), errno);
            ok = false;
        } else if (static_cast<uint64_t>(st.st_size) != size) {
            *error = p.shm + ": held by another process with size " + std::to_string(st.st_size) +
                     ", not " + std::to_string(size);
            ok = false;
        }
    }
    void* data = MAP_FAILED;
    if (ok) {
        data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, sfd, 0);
        if (data == MAP_FAILED) {
            *error = ErrnoText(p.shm.c_str(), errno);
            ok = false;
        }
    }
    ::close(sfd);
    if (ok && first) {
        std::memset(data, 0, size);
        if (init) init(data);
    }
    // Downgrade (or join). Not atomic for flock, which is why this happens under the lock.
    if (ok && Flock(pfd, LOCK_SH | LOCK_NB) != 0) {
        *error = ErrnoText(p.presence.c_str(), errno);
        ok = false;
    }
    if (!ok) {
        if (data != MAP_FAILED) ::munmap(data, size);
        ::close(pfd);
        return false;
    }
    m.data = data;
    m.size = size;
    m.presenceFd = pfd;
    m.created = first;
    return true;
}

}  // namespace

std::string IpcPrefix() {
    const char* env = std::getenv("KAVRO_IPC_PREFIX");
    if (env != nullptr && env[0] != '\0') return env;
    return "kavro-opos-" + std::to_string(::getuid());
}

std::unique_ptr<SharedSection> SharedSection::Attach(const std::string& name, size_t size,
                                                     const std::function<void(void*)>& init,
                                                     std::string* error) {
    std::string scratch;
    std::string* err = error != nullptr ? error : &scratch;
    std::string prefix = IpcPrefix();
    std::string full = prefix + "." + name;
    if (!ValidName(name) || !ValidName(prefix) || full.size() + sizeof(".presence") > NAME_MAX) {
        *err = "invalid section name \"" + full + "\"";
        return nullptr;
    }
    if (size == 0 || size > static_cast<size_t>(LLONG_MAX)) {
        *err = "invalid section size " + std::to_string(size);
        return nullptr;
    }
    Paths p = PathsFor(full);

    Registry& reg = TheRegistry();
    std::lock_guard<std::mutex> guard(reg.mutex);
    auto it = reg.byName.find(p.shm);
    if (it == reg.byName.end()) {
        int lockFd = AcquireAttachLock(p.lock, err);
        if (lockFd < 0) return nullptr;
        Mapping m;
        bool ok = MapUnderLock(p, size, init, m, err);
        ::close(lockFd);
        if (!ok) return nullptr;
        it = reg.byName.emplace(p.shm, m).first;
    } else if (it->second.size != size) {
        *err = p.shm + ": attached in this process with size " + std::to_string(it->second.size) +
               ", not " + std::to_string(size);
        return nullptr;
    }
    Mapping& m = it->second;
    ++m.refs;
    std::unique_ptr<SharedSection> s(new SharedSection);
    s->data_ = m.data;
    s->size_ = m.size;
    s->created_ = m.created;
    s->presenceFd_ = m.presenceFd;
    s->shmName_ = p.shm;
    return s;
}

SharedSection::~SharedSection() {
    Registry& reg = TheRegistry();
    std::lock_guard<std::mutex> guard(reg.mutex);
    auto it = reg.byName.find(shmName_);
    if (it == reg.byName.end() || --it->second.refs > 0) return;
    Mapping m = it->second;
    reg.byName.erase(it);

    // Last holder in this process. When no other process holds the section either, remove
    // its files; a crash skips this, which is harmless (the next attacher zeroes it).
    Paths p = PathsFor(shmName_.substr(1));
    std::string ignored;
    int lockFd = AcquireAttachLock(p.lock, &ignored);
    ::munmap(m.data, m.size);
    ::close(m.presenceFd);
    if (lockFd < 0) return;
    int pfd = OpenLockFile(p.presence, false);
    if (pfd >= 0 && Flock(pfd, LOCK_EX | LOCK_NB) == 0) {
        ::shm_unlink(p.shm.c_str());
        ::unlink(p.presence.c_str());
        ::unlink(p.lock.c_str());  // waiters notice the replaced file and retry
    }
    if (pfd >= 0) ::close(pfd);
    ::close(lockFd);
}

// --- SectionMutex -------------------------------------------------------------------

static_assert(sizeof(pthread_mutex_t) <= sizeof(SectionMutex::storage));
static_assert(alignof(pthread_mutex_t) <= alignof(SectionMutex));

namespace {
pthread_mutex_t* Native(SectionMutex* m) {
    return reinterpret_cast<pthread_mutex_t*>(m->storage);
}

[[noreturn]] void MutexFailure(const char* what, int rc) {
    // Going on would run the guarded code without mutual exclusion.
    std::fprintf(stderr, "section mutex: %s: %s\n", what, std::strerror(rc));
    std::abort();
}
}  // namespace

void SectionMutex::Init() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    int rc = pthread_mutex_init(new (storage) pthread_mutex_t, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) MutexFailure("init", rc);
}

bool SectionMutex::Lock() {
    int rc = pthread_mutex_lock(Native(this));
    if (rc == 0) return false;
    if (rc == EOWNERDEAD) {
        pthread_mutex_consistent(Native(this));
        return true;
    }
    MutexFailure("lock", rc);
}

void SectionMutex::Unlock() {
    int rc = pthread_mutex_unlock(Native(this));
    if (rc != 0) MutexFailure("unlock", rc);
}

// --- Owner tokens and claims --------------------------------------------------------

OwnerToken SelfToken() {
    return static_cast<OwnerToken>(::getpid());
}

bool TokenAlive(OwnerToken token) {
    // Tokens come from shared memory: anything outside the pid range (which kill() would
    // read as a process group or "every process") is not a live owner.
    if (token == 0 || token > static_cast<OwnerToken>(INT_MAX)) return false;
    return ::kill(static_cast<pid_t>(token), 0) == 0 || errno == EPERM;
}

bool ClaimEntry::TryClaim(OwnerToken self) {
    if (self == 0) return false;
    uint32_t cur = owner.load(std::memory_order_acquire);
    for (;;) {
        if (cur == self) return true;
        if (cur != 0 && TokenAlive(cur)) return false;
        // Free or dead: swap from exactly the value judged; a failed swap reloads `cur`.
        if (owner.compare_exchange_weak(cur, self, std::memory_order_acq_rel,
                                        std::memory_order_acquire))
            return true;
    }
}

bool ClaimEntry::Release(OwnerToken self) {
    if (self == 0) return false;
    uint32_t expected = self;
    return owner.compare_exchange_strong(expected, 0, std::memory_order_acq_rel,
                                         std::memory_order_relaxed);
}

OwnerToken ClaimEntry::LiveOwner() const {
    uint32_t cur = owner.load(std::memory_order_acquire);
    return TokenAlive(cur) ? cur : 0;
}

}  // namespace plat
