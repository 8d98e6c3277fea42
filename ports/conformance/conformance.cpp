// Registrations, output order, the priority rule and ClearOutputBuffer.
#include "ports/conformance/conformance.h"

#include <thread>

namespace portconf {

std::string ParamName(const ::testing::TestParamInfo<DriverParam>& info) {
    return info.param.name;
}

std::string AllWritten(PeerDevice& peer) {
    std::string all;
    for (const auto& w : peer.Writes()) all += w.bytes;
    return all;
}

void PortConformance::SetUp() {
    adapter_ = GetParam().make();
    reg_.Import(adapter_->Entries());
    driver_ = adapter_->CreateDriver();
}

void PortConformance::TearDown() {
    for (Svc& s : svcs_) {
        if (!s->Closed()) Close(s.get());
    }
    driver_.reset();
    adapter_.reset();
    svcs_.clear();
}

Svc PortConformance::NewSvc() {
    Svc s = Svc::Adopt(new FakeSvc(adapter_->DeviceClass()));
    svcs_.push_back(s);
    return s;
}

LONG PortConformance::Open(FakeSvc* svc, LONG readSize) {
    return driver_->PortOpen(adapter_->DeviceName().c_str(), svc, adapter_->Options(readSize));
}

Svc PortConformance::Opened(LONG readSize) {
    Svc s = NewSvc();
    EXPECT_EQ(Open(s.get(), readSize), PD_OK);
    return s;
}

LONG PortConformance::Close(FakeSvc* svc) {
    LONG rc = PD_E_BUSY;
    for (int i = 0; i < 200 && rc == PD_E_BUSY; ++i) {
        if (i > 0) {
            driver_->ClearOutputBuffer(svc, 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        rc = driver_->PortClose(svc);
    }
    if (rc == PD_OK || rc == PD_E_NOTOPEN) svc->MarkClosed();
    return rc;
}

LONG PortConformance::Write(FakeSvc* svc, const std::string& bytes, LONG completionTag,
                            int priority, int awaitReply) {
    return driver_->PortOutputData(bytes.data(), bytes.size(), 1, svc, priority, 1, completionTag,
                                   awaitReply);
}

namespace {

bool HasCompletions(const Svc& s, size_t n) {
    return Eventually([&] { return s->Completions().size() >= n; });
}

}  // namespace

TEST_P(PortConformance, RegistrationsShareOnePortAndItsThreadsUntilTheLastCloses) {
    Svc first = Opened();
    Peer().Inject("a");
    ASSERT_TRUE(Eventually([&] { return first->Data() == "a"; }));
    const auto threads = first->Threads();

    Svc second = Opened(5);
    EXPECT_EQ(Peer().Connections(), 1) << "a second registration must not reopen the port";
    Peer().Inject("b");
    ASSERT_TRUE(Eventually([&] { return first->Data() == "ab" && second->Data() == "b"; }));
    EXPECT_EQ(first->Threads(), threads) << "the threads were restarted";
    EXPECT_EQ(second->Threads(), threads);

    EXPECT_EQ(Close(first.get()), PD_OK);
    EXPECT_TRUE(Peer().Connected()) << "closing the first must keep the port for the second";
    ASSERT_EQ(Write(second.get(), "xy", 7), PD_OK);
    ASSERT_TRUE(HasCompletions(second, 1));
    Peer().Inject("c");
    ASSERT_TRUE(Eventually([&] { return second->Data() == "bc"; }));

    EXPECT_EQ(Close(second.get()), PD_OK);
    ASSERT_TRUE(Eventually([&] { return !Peer().Connected(); }));

    Svc again = Opened();
    EXPECT_EQ(Peer().Connections(), 2);
    ASSERT_EQ(Write(again.get(), "z", 8), PD_OK);
    ASSERT_TRUE(HasCompletions(again, 1));
    EXPECT_EQ(AllWritten(Peer()), "xyz");
}

TEST_P(PortConformance, AServiceObjectThatIsNotRegisteredIsNotOpen) {
    FakeSvc* stranger = NewSvc().get();
    const char byte = 'q';
    auto calls = [&](CSvcBase* svc) {
        return std::vector<LONG>{driver_->PortOutputData(&byte, 1, 1, svc, 0, 1, 1, 0),
                                 driver_->ClearOutputBuffer(svc, 0), driver_->PortClose(svc)};
    };
    const std::vector<LONG> notOpen(3, PD_E_NOTOPEN);
    EXPECT_EQ(calls(stranger), notOpen) << "driver never opened";
    EXPECT_EQ(driver_->PortOutputData(&byte, 1, 1, nullptr, 0, 1, -1, 0), PD_E_NOTOPEN)
        << "an anonymous block while the port is closed";

    Svc member = Opened();
    EXPECT_EQ(calls(stranger), notOpen) << "port open for another service object";
    EXPECT_EQ(Close(member.get()), PD_OK);
    EXPECT_EQ(calls(member.get()), notOpen) << "after its close";
    EXPECT_EQ(AllWritten(Peer()), "");
    EXPECT_EQ(stranger->Calls(), 0u);
}

TEST_P(PortConformance, BlocksAreWrittenInQueueOrderAndCompleteWithTheirTags) {
    Svc a = Opened(), b = Opened();
    std::string expected;
    for (int i = 0; i < 20; ++i) {
        FakeSvc* owner = i % 3 == 0 ? b.get() : a.get();
        std::string bytes = std::string(1, static_cast<char>('A' + i)) + std::to_string(i);
        ASSERT_EQ(Write(owner, bytes, 100 + i), PD_OK);
        expected += bytes;
    }
    ASSERT_TRUE(HasCompletions(a, 13));
    ASSERT_TRUE(HasCompletions(b, 7));
    EXPECT_EQ(AllWritten(Peer()), expected);
    std::vector<LONG> tagsA, tagsB;
    for (int i = 0; i < 20; ++i) (i % 3 == 0 ? tagsB : tagsA).push_back(100 + i);
    EXPECT_EQ(a->Completions(), tagsA);
    EXPECT_EQ(b->Completions(), tagsB);
    EXPECT_TRUE(a->Errors().empty());
}

TEST_P(PortConformance, ZeroLengthAndAnonymousBlocks) {
    Svc a = Opened(), b = Opened();
    ASSERT_EQ(Write(a.get(), "one", 1), PD_OK);
    ASSERT_EQ(driver_->PortOutputData(nullptr, 0, 1, a.get(), 0, 1, 2, 0), PD_OK);
    ASSERT_EQ(driver_->PortOutputData("anon", 4, -1, nullptr, 0, 0, 99, 0), PD_OK);
    ASSERT_EQ(driver_->PortOutputData("", 0, 1, a.get(), 0, 1, 3, 0), PD_OK);
    ASSERT_EQ(Write(a.get(), "two", 4), PD_OK);
    ASSERT_TRUE(HasCompletions(a, 4));
    EXPECT_EQ(a->Completions(), (std::vector<LONG>{1, 2, 3, 4}));
    EXPECT_EQ(AllWritten(Peer()), "oneanontwo");
    for (const auto& w : Peer().Writes()) EXPECT_FALSE(w.bytes.empty()) << "an empty write";
    EXPECT_EQ(b->Calls(), 0u) << "an anonymous block makes no callbacks";
}

TEST_P(PortConformance, TheStringOverloadQueuesEveryByteOfTheString) {
    Svc a = Opened();
    const std::string text("\x1b@\0\0A\0B\x1d\0Z", 10);
    ASSERT_EQ(driver_->PortOutputData(text, 1, a.get(), 0, 1, 5, 0), PD_OK);
    ASSERT_TRUE(HasCompletions(a, 1));
    EXPECT_EQ(AllWritten(Peer()), text);
}

TEST_P(PortConformance, APriorityBlockGoesNextButNeverAheadOfTheBlockBeingWritten) {
    Svc a = Opened(), b = Opened();
    Peer().StallWrites(true);
    ASSERT_EQ(Write(a.get(), "O1", 1), PD_OK);
    ASSERT_TRUE(Eventually([&] { return Peer().WriteStalled(); }));
    ASSERT_EQ(Write(a.get(), "O2", 2), PD_OK);
    ASSERT_EQ(Write(b.get(), "P1", 3, 1), PD_OK);
    ASSERT_EQ(Write(a.get(), "O3", 4), PD_OK);
    ASSERT_EQ(driver_->PortOutputData("P2", 2, -1, nullptr, 1, 0, -1, 0), PD_OK);
    ASSERT_EQ(Write(b.get(), "P3", 5, 1), PD_OK);
    Peer().StallWrites(false);
    ASSERT_TRUE(HasCompletions(a, 3));
    ASSERT_TRUE(HasCompletions(b, 2));
    EXPECT_EQ(AllWritten(Peer()), "O1P1P2P3O2O3");
    EXPECT_EQ(a->Completions(), (std::vector<LONG>{1, 2, 4}));
    EXPECT_EQ(b->Completions(), (std::vector<LONG>{3, 5}));
}

TEST_P(PortConformance, ClearOutputBufferDropsQueuedBlocksAndPurgeAbandonsTheCurrentOne) {
    for (int purge : {0, 1}) {
        SCOPED_TRACE(purge ? "with purge" : "without purge");
        auto peerBefore = AllWritten(Peer()).size();
        Svc a = Opened(), b = Opened();
        const std::string current(2000, 'c');
        Peer().StallWrites(true);
        ASSERT_EQ(Write(a.get(), current, 1), PD_OK);
        ASSERT_TRUE(Eventually([&] { return Peer().WriteStalled(); }));
        ASSERT_EQ(Write(a.get(), "a2", 2), PD_OK);
        ASSERT_EQ(Write(b.get(), "b1", 10), PD_OK);
        ASSERT_EQ(Write(a.get(), "a3", 3, 1), PD_OK);
        EXPECT_EQ(driver_->ClearOutputBuffer(a.get(), purge), PD_OK);
        Peer().StallWrites(false);
        ASSERT_TRUE(HasCompletions(b, 1));
        const std::string written = AllWritten(Peer()).substr(peerBefore);
        if (purge) {
            EXPECT_TRUE(a->Completions().empty()) << "an abandoned block completed";
            ASSERT_GE(written.size(), 2u);
            EXPECT_EQ(written.substr(written.size() - 2), "b1");
            EXPECT_EQ(written.find_first_not_of('c'), written.size() - 2);
        } else {
            EXPECT_EQ(a->Completions(), (std::vector<LONG>{1}));
            EXPECT_EQ(written, current + "b1");
        }
        // The queue goes on for the service object that cleared.
        ASSERT_EQ(Write(a.get(), "a4", 4), PD_OK);
        ASSERT_TRUE(
            Eventually([&] { return !a->Completions().empty() && a->Completions().back() == 4; }));
        EXPECT_EQ(Close(a.get()), PD_OK);
        EXPECT_EQ(Close(b.get()), PD_OK);
    }
}

}  // namespace portconf
