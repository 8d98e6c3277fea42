#include "platform/registry/regstore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/registry/regfile.h"

namespace plat::reg::detail {
namespace {

constexpr auto kLockTimeout = std::chrono::seconds(30);

thread_local std::string t_errorText;

struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    time_t mtimeSec = 0;
    long mtimeNsec = 0;
    bool operator==(const FileId&) const = default;
};

FileId IdOf(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

// The parsed file as last seen, keyed by its identity. A malformed file is cached too
// (with its error) so that repeated reads of a bad file do not parse it again.
struct Cache {
    bool valid = false;
    std::string path;
    bool missing = false;
    FileId id;
    LONG code = ERROR_SUCCESS;
    std::string text;
    std::unique_ptr<Tree> tree;
};

std::mutex g_mu;  // guards g_cache
Cache g_cache;
std::mutex g_pathMu;  // guards g_pathOverride
std::string g_pathOverride;

LONG ErrnoCode(int err) {
    return (err == EACCES || err == EPERM || err == EROFS) ? ERROR_ACCESS_DENIED
                                                           : ERROR_REGISTRY_IO_FAILED;
}

LONG FailErrno(const std::string& what, const std::string& path, int err) {
    return Fail(ErrnoCode(err), what + " " + path + ": " + std::strerror(err));
}

std::string Folder(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Reads an open file whole, refusing anything larger than the parser accepts.
LONG ReadFd(int fd, const std::string& path, std::string* out) {
    struct stat st;
    if (fstat(fd, &st) != 0) return FailErrno("cannot read", path, errno);
    if (!S_ISREG(st.st_mode)) return Fail(ERROR_REGISTRY_IO_FAILED, path + ": not a file");
    if (static_cast<uint64_t>(st.st_size) > kMaxFileSize) {
        return Fail(ERROR_BADDB, path + ": file larger than 256 MiB");
    }
    out->clear();
    out->reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    while (true) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return FailErrno("cannot read", path, errno);
        if (n == 0) return ERROR_SUCCESS;
        if (out->size() + static_cast<size_t>(n) > kMaxFileSize) {
            return Fail(ERROR_BADDB, path + ": file larger than 256 MiB");
        }
        out->append(buf, static_cast<size_t>(n));
    }
}

LONG ParseFd(int fd, const std::string& path, Document* doc) {
    std::string text;
    if (LONG rc = ReadFd(fd, path, &text); rc != ERROR_SUCCESS) return rc;
    ParseError error;
    if (!ParseRegText(text, doc, &error)) return Fail(ERROR_BADDB, error.Text(path));
    return ERROR_SUCCESS;
}

LONG LoadFd(int fd, const std::string& path, Tree* tree) {
    Document doc;
    if (LONG rc = ParseFd(fd, path, &doc); rc != ERROR_SUCCESS) return rc;
    ApplyDocument(doc, tree);
    return ERROR_SUCCESS;
}

std::string CurrentPath() {
    {
        std::lock_guard<std::mutex> lock(g_pathMu);
        if (!g_pathOverride.empty()) return g_pathOverride;
    }
    const char* env = std::getenv("KAVRO_REGISTRY");
    if (env && *env) return env;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/kavro-opos/registry.reg";
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h) {
        home = h;
    } else {
        struct passwd pw;
        struct passwd* found = nullptr;
        char buf[4096];
        if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found && pw.pw_dir) {
            home = pw.pw_dir;
        }
    }
    if (home.empty()) return {};
    return home + "/.config/kavro-opos/registry.reg";
}

LONG NoPath() {
    return Fail(ERROR_REGISTRY_IO_FAILED, "no registry file: set KAVRO_REGISTRY or HOME");
}

// Brings g_cache up to date with the file (g_mu held).
LONG Refresh(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return FailErrno("cannot read", path, errno);
        if (!(g_cache.valid && g_cache.path == path && g_cache.missing)) {
            g_cache = Cache{true, path, true, {}, ERROR_SUCCESS, {}, std::make_unique<Tree>()};
        }
        return ERROR_SUCCESS;
    }
    if (g_cache.valid && g_cache.path == path && !g_cache.missing && g_cache.id == IdOf(st)) {
        return g_cache.code == ERROR_SUCCESS ? ERROR_SUCCESS : Fail(g_cache.code, g_cache.text);
    }
    g_cache.valid = false;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {  // removed since the stat
            g_cache = Cache{true, path, true, {}, ERROR_SUCCESS, {}, std::make_unique<Tree>()};
            return ERROR_SUCCESS;
        }
        return FailErrno("cannot read", path, errno);
    }
    if (fstat(fd, &st) != 0) {
        int err = errno;
        close(fd);
        return FailErrno("cannot read", path, err);
    }
    auto tree = std::make_unique<Tree>();
    LONG rc = LoadFd(fd, path, tree.get());
    close(fd);
    if (rc == ERROR_SUCCESS) {
        g_cache = Cache{true, path, false, IdOf(st), rc, {}, std::move(tree)};
    } else if (rc == ERROR_BADDB) {
        g_cache = Cache{true, path, false, IdOf(st), rc, t_errorText, nullptr};
    }
    return rc;
}

void Install(const std::string& path, bool missing, const struct stat& st,
             std::unique_ptr<Tree> tree) {
    std::lock_guard<std::mutex> lock(g_mu);
    g_cache = Cache{true,          path, missing,        missing ? FileId{} : IdOf(st),
                    ERROR_SUCCESS, {},   std::move(tree)};
}

LONG MakeFolders(const std::string& folder) {
    struct stat st;
    if (stat(folder.c_str(), &st) == 0) return ERROR_SUCCESS;
    std::string parent = Folder(folder);
    if (parent != folder) {
        if (LONG rc = MakeFolders(parent); rc != ERROR_SUCCESS) return rc;
    }
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        return FailErrno("cannot create folder", folder, errno);
    }
    return ERROR_SUCCESS;
}

// flock without an unbounded wait: retries with a growing pause up to kLockTimeout.
LONG LockFile(int fd, const std::string& lockPath) {
    auto deadline = std::chrono::steady_clock::now() + kLockTimeout;
    auto pause = std::chrono::microseconds(200);
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return FailErrno("cannot lock", lockPath, errno);
        if (std::chrono::steady_clock::now() >= deadline) {
            return Fail(ERROR_TIMEOUT, "registry lock " + lockPath + " held by another process");
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(8000));
    }
    return ERROR_SUCCESS;
}

bool Later(const timespec& a, const timespec& b) {
    return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
}

// Gives the new file an mtime later than the old one's, so that (inode, size, mtime)
// differs between successive files even when an inode number is reused within one
// tick of the file system's clock.
void SetLaterMtime(int fd, const struct stat* old) {
    timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    clock_gettime(CLOCK_REALTIME, &times[1]);
    if (old && !Later(times[1], old->st_mtim)) {
        times[1] = old->st_mtim;
        if (++times[1].tv_nsec >= 1000000000L) {
            times[1].tv_nsec = 0;
            ++times[1].tv_sec;
        }
    }
    futimens(fd, times);
    struct stat now;
    if (old && fstat(fd, &now) == 0 && !Later(now.st_mtim, old->st_mtim)) {
        // The file system keeps whole seconds only.
        times[1] = old->st_mtim;
        times[1].tv_sec += 1;
        futimens(fd, times);
    }
}

LONG WriteAll(int fd, const std::string& text, const std::string& path) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return FailErrno("cannot write", path, errno);
        done += static_cast<size_t>(n);
    }
    return ERROR_SUCCESS;
}

// Writes `text` as the new file (lock held): temp file, fsync, rename, fsync of the
// folder. `newSt` receives the identity of the file now in place.
LONG ReplaceFile(const std::string& path, const std::string& text, const struct stat* old,
                 struct stat* newSt) {
    std::string tmp = path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(gettid());
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return FailErrno("cannot create", tmp, errno);
    if (old) fchmod(fd, old->st_mode & 07777);
    LONG rc = WriteAll(fd, text, tmp);
    if (rc == ERROR_SUCCESS) {
        SetLaterMtime(fd, old);
        if (fsync(fd) != 0 || fstat(fd, newSt) != 0) rc = FailErrno("cannot write", tmp, errno);
    }
    if (close(fd) != 0 && rc == ERROR_SUCCESS) rc = FailErrno("cannot write", tmp, errno);
    if (rc == ERROR_SUCCESS && rename(tmp.c_str(), path.c_str()) != 0) {
        rc = FailErrno("cannot replace", path, errno);
    }
    if (rc != ERROR_SUCCESS) {
        unlink(tmp.c_str());
        return rc;
    }
    std::string folder = Folder(path);
    int dfd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return FailErrno("cannot sync folder", folder, errno);
    rc = fsync(dfd) == 0 ? ERROR_SUCCESS : FailErrno("cannot sync folder", folder, errno);
    close(dfd);
    return rc;
}

// The write transaction with the lock file open and locked.
LONG WriteLocked(const std::string& path, const std::function<LONG(Tree&, bool*)>& change) {
    auto tree = std::make_unique<Tree>();
    struct stat oldSt;
    bool exists = false;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        exists = true;
        LONG rc = fstat(fd, &oldSt) == 0 ? LoadFd(fd, path, tree.get())
                                         : FailErrno("cannot read", path, errno);
        close(fd);
        if (rc != ERROR_SUCCESS) return rc;
    } else if (errno != ENOENT) {
        return FailErrno("cannot read", path, errno);
    }
    bool changed = false;
    LONG rc = change(*tree, &changed);
    if (rc != ERROR_SUCCESS || !changed) {
        if (rc == ERROR_SUCCESS) Install(path, !exists, oldSt, std::move(tree));
        return rc;
    }
    struct stat newSt;
    rc = ReplaceFile(path, WriteRegText(*tree), exists ? &oldSt : nullptr, &newSt);
    if (rc == ERROR_SUCCESS) Install(path, false, newSt, std::move(tree));
    return rc;
}

}  // namespace

LONG Fail(LONG code, std::string text) {
    t_errorText = std::move(text);
    return code;
}

const char* LastErrorText() {
    return t_errorText.c_str();
}

LONG ReadStore(const std::function<LONG(const Tree&)>& read) {
    std::string path = CurrentPath();
    if (path.empty()) return NoPath();
    std::lock_guard<std::mutex> lock(g_mu);
    if (LONG rc = Refresh(path); rc != ERROR_SUCCESS) return rc;
    return read(*g_cache.tree);
}

LONG WriteStore(const std::function<LONG(Tree&, bool* changed)>& change) {
    std::string path = CurrentPath();
    if (path.empty()) return NoPath();
    if (LONG rc = MakeFolders(Folder(path)); rc != ERROR_SUCCESS) return rc;
    std::string lockPath = path + ".lock";
    int lfd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lfd < 0) return FailErrno("cannot open", lockPath, errno);
    LONG rc = LockFile(lfd, lockPath);
    if (rc == ERROR_SUCCESS) rc = WriteLocked(path, change);
    close(lfd);  // releases the lock
    return rc;
}

LONG ReadRegFile(const std::string& path, Document* doc) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return Fail(ERROR_FILE_NOT_FOUND, path + ": no such file");
        return FailErrno("cannot read", path, errno);
    }
    LONG rc = ParseFd(fd, path, doc);
    close(fd);
    return rc;
}

}  // namespace plat::reg::detail

namespace plat::reg {

std::string StorePath() {
    return detail::CurrentPath();
}

void SetStorePath(const std::string& path) {
    std::lock_guard<std::mutex> lock(detail::g_pathMu);
    detail::g_pathOverride = path;
}

}  // namespace plat::reg
