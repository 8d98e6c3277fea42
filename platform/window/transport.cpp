#include "platform/window/transport.h"

#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/section/section.h"
#include "platform/window/table.h"

namespace plat::win {
namespace {

constexpr int kLivenessMs = 100;         // how often waiting sends check their target
constexpr long kSendWaitUs = 500'000;    // longest wait for room in a full peer queue
constexpr size_t kMaxPrefixInName = 80;  // longer prefixes are hashed into the name

struct Pending {
    std::shared_ptr<SendRecord> rec;
    uint32_t pid;
    HWND hwnd;
};

// Sends of this process waiting for a reply (hub locked). Never destroyed: threads
// may still look at it while the process exits.
struct PendingTable {
    std::unordered_map<uint64_t, Pending> map;
    uint64_t nextSeq = 1;
};
PendingTable& Pendings() {
    static auto* table = new PendingTable();
    return *table;
}

std::atomic<int> g_wakeFd{-1};

void Wake(int fd) {
    if (fd < 0) return;
    uint64_t one = 1;
    ssize_t n = ::write(fd, &one, sizeof one);
    (void)n;  // the counter is already non-zero when this fails: the wake is pending
}

SendStatus StatusFromWire(uint32_t s) {
    switch (s) {
        case 0:
            return SendStatus::Delivered;
        case 2:
            return SendStatus::TimedOut;
        default:
            return SendStatus::NotDelivered;
    }
}

uint32_t StatusToWire(SendStatus s) {
    switch (s) {
        case SendStatus::Delivered:
            return 0;
        case SendStatus::TimedOut:
            return 2;
        default:
            return 1;
    }
}

class Endpoint {
  public:
    static Endpoint& Get() {
        static Endpoint endpoint;
        return endpoint;
    }
    bool ok() const { return fd_ >= 0 && thread_ != nullptr; }
    int fd() const { return fd_; }

  private:
    Endpoint();
    ~Endpoint();
    void Run();
    void Drain();
    void Handle(const Wire& w, uint32_t senderPid);
    void CheckPending();

    int fd_ = -1;
    int efd_ = -1;
    pid_t pid_ = 0;
    std::atomic<bool> stop_{false};
    std::thread* thread_ = nullptr;
};

Endpoint::Endpoint() : pid_(::getpid()) {
    // What the receiver thread uses must outlive it: construct it first.
    {
        auto lk = LockWaitHub();
        (void)Pendings();
        (void)LocalWindowsLocked();
    }
    (void)TableOwner(0);

    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    int one = 1;
    timeval tv{0, kSendWaitUs};
    sockaddr_un addr;
    socklen_t len = EndpointAddress(static_cast<uint32_t>(pid_), &addr);
    if (::setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &one, sizeof one) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        ::close(fd);
        return;
    }
    int efd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (efd < 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
    efd_ = efd;
    try {
        thread_ = new std::thread(&Endpoint::Run, this);
    } catch (...) {
        thread_ = nullptr;
        return;
    }
    g_wakeFd.store(efd_);
}

Endpoint::~Endpoint() {
    if (::getpid() != pid_) return;  // a forked child: the receiver thread is the parent's
    g_wakeFd.store(-1);
    if (thread_) {
        stop_.store(true);
        Wake(efd_);
        thread_->join();
        delete thread_;
        thread_ = nullptr;
    }
    if (efd_ >= 0) ::close(efd_);
    if (fd_ >= 0) ::close(fd_);
    efd_ = fd_ = -1;
}

void Endpoint::Run() {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {efd_, POLLIN, 0}};
    auto lastCheck = std::chrono::steady_clock::now();
    while (!stop_.load()) {
        bool waiting;
        {
            auto lk = LockWaitHub();
            waiting = !Pendings().map.empty();
        }
        int r = ::poll(fds, 2, waiting ? kLivenessMs : -1);
        if (r < 0) {
            // EINTR, or ENOMEM that may pass: look again, without spinning.
            if (errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (fds[1].revents & POLLIN) {
            uint64_t v;
            ssize_t n = ::read(efd_, &v, sizeof v);
            (void)n;
        }
        if (stop_.load()) break;
        if (fds[0].revents & POLLIN) Drain();
        auto now = std::chrono::steady_clock::now();
        if (waiting && now - lastCheck >= std::chrono::milliseconds(kLivenessMs)) {
            CheckPending();
            lastCheck = now;
        } else if (!waiting) {
            lastCheck = now;
        }
    }
}

void Endpoint::Drain() {
    for (int i = 0; i < 256; ++i) {
        unsigned char buf[sizeof(Wire) + 8];
        alignas(cmsghdr) unsigned char ctl[CMSG_SPACE(sizeof(ucred))];
        iovec iov{buf, sizeof buf};
        msghdr mh{};
        mh.msg_iov = &iov;
        mh.msg_iovlen = 1;
        mh.msg_control = ctl;
        mh.msg_controllen = sizeof ctl;
        ssize_t n = ::recvmsg(fd_, &mh, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // EAGAIN: drained
        }
        if (static_cast<size_t>(n) != sizeof(Wire) || (mh.msg_flags & (MSG_TRUNC | MSG_CTRUNC)))
            continue;
        bool haveCred = false;
        ucred cred{};
        for (cmsghdr* c = CMSG_FIRSTHDR(&mh); c; c = CMSG_NXTHDR(&mh, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS &&
                c->cmsg_len == CMSG_LEN(sizeof(ucred))) {
                std::memcpy(&cred, CMSG_DATA(c), sizeof cred);
                haveCred = true;
            }
        }
        Wire w;
        std::memcpy(&w, buf, sizeof w);
        // Only the same user, and only a sender that is the process it says it is.
        if (!haveCred || cred.uid != ::getuid() || cred.pid <= 0 || w.magic != kWireMagic ||
            w.senderPid != static_cast<uint32_t>(cred.pid))
            continue;
        Handle(w, static_cast<uint32_t>(cred.pid));
    }
}

void Endpoint::Handle(const Wire& w, uint32_t senderPid) {
    switch (static_cast<WireKind>(w.kind)) {
        case WireKind::Post: {
            Entry e;
            e.msg = w.msg;
            e.wParam = w.wParam;
            e.lParam = w.lParam;
            auto lk = LockWaitHub();
            EnqueueLocked(w.hwnd, std::move(e), false);
            return;
        }
        case WireKind::Send: {
            Entry e;
            e.msg = w.msg;
            e.wParam = w.wParam;
            e.lParam = w.lParam;
            e.remote = {senderPid, w.seq};
            bool queued;
            {
                auto lk = LockWaitHub();
                queued = EnqueueLocked(w.hwnd, std::move(e), true);
            }
            // Never blocks the receiver: a lost reply is caught by the sender's liveness
            // check, as the window does not exist.
            if (!queued) TransportReply({senderPid, w.seq}, SendStatus::NotDelivered, 0, true);
            return;
        }
        case WireKind::Reply: {
            auto lk = LockWaitHub();
            auto& map = Pendings().map;
            auto it = map.find(w.seq);
            if (it == map.end() || it->second.pid != senderPid) return;
            it->second.rec->done = true;
            it->second.rec->status = StatusFromWire(w.status);
            it->second.rec->result = w.result;
            map.erase(it);
            NotifyAllLocked();
            return;
        }
        case WireKind::Cancel: {
            auto lk = LockWaitHub();
            auto& windows = LocalWindowsLocked();
            auto it = windows.find(w.hwnd);
            if (it == windows.end()) return;
            RemoveEntriesLocked(
                *it->second.queue,
                [&](const Entry& e) { return e.remote.pid == senderPid && e.remote.seq == w.seq; },
                nullptr);
            return;
        }
    }
}

void Endpoint::CheckPending() {
    std::vector<std::tuple<uint64_t, uint32_t, HWND>> waiting;
    {
        auto lk = LockWaitHub();
        for (const auto& [seq, p] : Pendings().map) waiting.emplace_back(seq, p.pid, p.hwnd);
    }
    std::vector<uint64_t> gone;
    for (const auto& [seq, pid, hwnd] : waiting) {
        auto owner = TableOwner(hwnd);
        if (!owner || *owner != pid || !EndpointExists(pid)) gone.push_back(seq);
    }
    if (gone.empty()) return;
    auto lk = LockWaitHub();
    auto& map = Pendings().map;
    for (uint64_t seq : gone) {
        auto it = map.find(seq);
        if (it == map.end()) continue;
        it->second.rec->done = true;
        it->second.rec->status = SendStatus::NotDelivered;
        map.erase(it);
    }
    NotifyAllLocked();
}

uint64_t Fnv1a(const std::string& s) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    return h;
}

}  // namespace

socklen_t EndpointAddress(uint32_t pid, sockaddr_un* addr) {
    std::string name = IpcPrefix();
    if (name.size() > kMaxPrefixInName) {
        char hex[24];
        std::snprintf(hex, sizeof hex, "h%016llx", static_cast<unsigned long long>(Fnv1a(name)));
        name = hex;
    }
    name += "/p/" + std::to_string(pid);
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    std::memcpy(addr->sun_path + 1, name.data(), name.size());  // abstract: leading NUL
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

bool TransportStart() {
    return Endpoint::Get().ok();
}

int TransportSend(uint32_t pid, Wire w, bool noWait) {
    Endpoint& e = Endpoint::Get();
    if (!e.ok()) return ENOTCONN;
    w.magic = kWireMagic;
    w.senderPid = static_cast<uint32_t>(::getpid());
    sockaddr_un addr;
    socklen_t len = EndpointAddress(pid, &addr);
    const int flags = MSG_NOSIGNAL | (noWait ? MSG_DONTWAIT : 0);
    for (;;) {
        ssize_t n = ::sendto(e.fd(), &w, sizeof w, flags, reinterpret_cast<sockaddr*>(&addr), len);
        if (n == static_cast<ssize_t>(sizeof w)) return 0;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EWOULDBLOCK) return EAGAIN;
        return n < 0 ? errno : EIO;
    }
}

void TransportReply(const RemoteOrigin& to, SendStatus status, LRESULT result, bool noWait) {
    Wire w{};
    w.kind = static_cast<uint32_t>(WireKind::Reply);
    w.seq = to.seq;
    w.status = StatusToWire(status);
    w.result = result;
    TransportSend(to.pid, w, noWait);
}

bool EndpointExists(uint32_t pid) {
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;  // cannot tell
    sockaddr_un addr;
    socklen_t len = EndpointAddress(pid, &addr);
    int r = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), len);
    int err = errno;
    ::close(fd);
    return r == 0 || (err != ECONNREFUSED && err != ENOENT);
}

uint64_t AddPendingLocked(const std::shared_ptr<SendRecord>& rec, uint32_t pid, HWND hwnd) {
    PendingTable& t = Pendings();
    uint64_t seq = t.nextSeq++;
    t.map.emplace(seq, Pending{rec, pid, hwnd});
    if (t.map.size() == 1) Wake(g_wakeFd.load());  // the receiver starts its liveness checks
    return seq;
}

void RemovePendingLocked(uint64_t seq) {
    Pendings().map.erase(seq);
}

}  // namespace plat::win
