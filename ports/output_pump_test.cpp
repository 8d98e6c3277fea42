// The common output loop against a scripted transport: retries and the one PortError,
// anonymous blocks, abandoning on purge, close and clear, awaitReply.
#include "ports/output_pump.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "include/portdrv.h"
#include "ports/conformance/fake_svc.h"

namespace {

using portconf::Eventually;
using portconf::FakeSvc;
using portconf::Svc;
using ports::OutputBlock;

// Each WritePiece takes the next scripted result (-1 failed, 0 nothing, n bytes);
// with none left it writes the whole piece.
class ScriptedTransport : public ports::OutputTransport {
public:
    long WritePiece(const OutputBlock&, const char* data, size_t length) override {
        long r;
        std::function<void(size_t)> hook;
        size_t call;
        {
            std::lock_guard<std::mutex> g(lock);
            call = calls++;
            r = script.empty() ? static_cast<long>(length) : script.front();
            if (!script.empty()) script.pop_front();
            if (r > 0) written.append(data, std::min(static_cast<size_t>(r), length));
            hook = onWrite;
        }
        if (hook) hook(call);
        return r;
    }
    void Purge() override { ++purges; }
    uint64_t InputCount() override { return 0; }
    void AwaitInput(uint64_t, DWORD ms) override {
        std::lock_guard<std::mutex> g(lock);
        awaits.push_back(ms);
    }
    bool RetryPause(DWORD) override { return true; }

    std::string Written() {
        std::lock_guard<std::mutex> g(lock);
        return written;
    }

    std::mutex lock;
    std::deque<long> script;
    std::function<void(size_t call)> onWrite;
    size_t calls = 0;
    std::string written;
    std::atomic<int> purges{0};
    std::vector<DWORD> awaits;
};

// One output loop with two registered owners, `a` and `b`.
struct Rig {
    Rig() {
        gate.Add(a.get(), 31);
        gate.Add(b.get(), 31);
        policy.pieceSize = 4;
        policy.failuresBeforeError = 3;
    }
    ~Rig() {
        queue.Stop();
        if (loop.joinable()) loop.join();
    }
    void Start() {
        loop = std::thread([this] { ports::RunOutputLoop(queue, gate, transport, policy); });
    }
    void Push(const std::string& data, CSvcBase* owner, LONG tag, bool awaitReply = false) {
        OutputBlock blk;
        blk.data = data;
        blk.owner = owner;
        blk.errorTag = -tag;
        blk.completionTag = tag;
        blk.awaitReply = awaitReply;
        queue.Push(std::move(blk));
    }
    // b's block with tag 99, the last one pushed, is through.
    bool Finished() {
        return Eventually(
            [&] { return !b->Completions().empty() && b->Completions().back() == 99; });
    }

    Svc a = Svc::Adopt(new FakeSvc), b = Svc::Adopt(new FakeSvc);
    ports::CallbackGate gate;
    ports::OutputQueue queue;
    ports::OutputPolicy policy;
    ScriptedTransport transport;
    std::thread loop;
};

TEST(Pump, FailedPiecesAreRetriedWithOnePortErrorPerBlock) {
    struct Case {
        const char* name;
        std::deque<long> script;
        std::vector<LONG> errors;
    } cases[] = {
        {"two failures", {-1, -1}, {}},
        {"failures until the bound, and after", {-1, 0, -1, -1, 0}, {-1}},
        {"progress resets the count", {-1, -1, 2, -1, -1, 0, -1}, {-1}},
        {"partial writes", {1, 1, 3, 2}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.transport.script = c.script;
        rig.Push("0123456789", rig.a.get(), 1);
        rig.Push("b", rig.b.get(), 99);
        rig.Start();
        ASSERT_TRUE(rig.Finished());
        EXPECT_EQ(rig.a->Errors(), c.errors);
        EXPECT_EQ(rig.a->Completions(), (std::vector<LONG>{1}));
        EXPECT_EQ(rig.transport.Written(), "0123456789b");
    }
}

TEST(Pump, AnAnonymousBlockIsTriedOnceAndDropped) {
    Rig rig;
    rig.transport.script = {-1};
    rig.Push("anon", nullptr, 1);
    rig.Push("b", rig.b.get(), 99);
    rig.Start();
    ASSERT_TRUE(rig.Finished());
    EXPECT_EQ(rig.transport.Written(), "b");
    EXPECT_TRUE(rig.a->Errors().empty());
    EXPECT_TRUE(rig.b->Errors().empty());
}

TEST(Pump, TheCurrentBlockIsGivenUp) {
    struct Case {
        const char* name;
        std::deque<long> script;
        std::function<void(Rig&)> act;  // during the first piece
        int purges;
    } cases[] = {
        {"on a clear with purge", {}, [](Rig& r) { r.queue.Clear(r.a.get(), true); }, 1},
        {"on a close that abandons it", {}, [](Rig& r) { r.queue.DropOwner(r.a.get(), true); }, 0},
        {"when its owner is gone while it fails",
         {-1, -1, -1, -1},
         [](Rig& r) { EXPECT_EQ(r.gate.Remove(r.a.get()), PD_OK); },
         0},
        {"on a clear while it fails",
         {-1, -1, -1, -1},
         [](Rig& r) { r.queue.Clear(r.a.get(), false); },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.transport.script = c.script;
        rig.transport.onWrite = [&](size_t call) {
            if (call == 0) c.act(rig);
        };
        rig.Push("aaaaaaaaaaaa", rig.a.get(), 1);
        rig.Push("b", rig.b.get(), 99);
        rig.Start();
        ASSERT_TRUE(rig.Finished());
        EXPECT_TRUE(rig.a->Completions().empty());
        EXPECT_EQ(rig.transport.purges, c.purges);
        EXPECT_EQ(rig.transport.Written(), c.script.empty() ? "aaaab" : "b")
            << "written on after it was given up";
    }
}

TEST(Pump, AwaitReplyWaitsOnlyAfterAWrittenBlock) {
    Rig rig;
    rig.policy.awaitReplyMs = 1234;
    rig.Push("", rig.a.get(), 1, true);
    rig.Push("q", rig.a.get(), 2, true);
    rig.Push("r", rig.a.get(), 3, false);
    rig.Push("b", rig.b.get(), 99);
    rig.Start();
    ASSERT_TRUE(rig.Finished());
    EXPECT_EQ(rig.a->Completions(), (std::vector<LONG>{1, 2, 3}));
    std::lock_guard<std::mutex> g(rig.transport.lock);
    EXPECT_EQ(rig.transport.awaits, (std::vector<DWORD>{1234}));
}

}  // namespace
