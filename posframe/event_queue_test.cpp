#include "posframe/event_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <thread>
#include <vector>

namespace {

constexpr LONG kData = 1, kDirectIO = 2, kError = 3, kOutputComplete = 4, kStatus = 5;

OposEvent Ev(LONG type, LONG p1, LONG p2 = 0, const char* text = "") {
    return OposEvent{type, p1, p2, 0, 0, text};
}

// A queue holding, oldest first: status 11, data 1, DirectIO 7/99 "a", error 111,
// DirectIO 8/98 "b", output complete 5.
class EventQueueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        q.QueueEvent(Ev(kStatus, 11));
        q.QueueEvent(Ev(kData, 1));
        q.QueueEvent(Ev(kDirectIO, 7, 99, "a"));
        q.QueueEvent(OposEvent{kError, 111, 70002, 3, 12, ""});
        q.QueueEvent(Ev(kDirectIO, 8, 98, "b"));
        q.QueueEvent(Ev(kOutputComplete, 5));
    }
    std::vector<LONG> Types() {
        std::vector<LONG> t;
        OposEvent e;
        for (LONG i = 0; q.GetAt(i, &e); ++i) t.push_back(e.type);
        return t;
    }
    COposEvent q;
};

TEST_F(EventQueueTest, LooksCopyWithoutRemoving) {
    OposEvent e;
    ASSERT_TRUE(q.GetFirstData(&e));
    EXPECT_EQ(e.type, kStatus);
    EXPECT_EQ(e.p1, 11);

    ASSERT_TRUE(q.GetFirst(kError, &e));
    EXPECT_EQ(e.p1, 111);
    EXPECT_EQ(e.p2, 70002);
    EXPECT_EQ(e.p3, 3);
    EXPECT_EQ(e.p4, 12);
    EXPECT_FALSE(q.GetFirst(42, &e));

    EXPECT_EQ(q.GetDirectIOIndex(), 2);
    ASSERT_TRUE(q.GetDirectIOData(2, &e));
    EXPECT_EQ(e.p1, 7);
    EXPECT_EQ(e.p2, 99);
    EXPECT_EQ(e.text, "a");
    EXPECT_FALSE(q.GetDirectIOData(1, &e)) << "position 1 holds a data event";
    EXPECT_EQ(q.GetSize(), 6);
    EXPECT_EQ(q.GetCount(kDirectIO), 2);
    EXPECT_EQ(q.GetCount(0), 6);
}

TEST_F(EventQueueTest, IndexesOutOfRangeAreRefused) {
    OposEvent e;
    e.p1 = 1234;
    for (LONG index : {-1, 6, 1000, -2147483647 - 1}) {
        EXPECT_FALSE(q.GetAt(index, &e)) << index;
        EXPECT_FALSE(q.GetDirectIOData(index, &e)) << index;
        EXPECT_FALSE(q.RemoveAt(index)) << index;
    }
    EXPECT_EQ(e.p1, 1234) << "a failed look leaves the record alone";
    EXPECT_EQ(q.GetSize(), 6);
}

TEST_F(EventQueueTest, RemovalsTakeTheRightEvents) {
    EXPECT_TRUE(q.RemoveFirstID(kDirectIO));  // DirectIO 7
    EXPECT_EQ(Types(), (std::vector<LONG>{kStatus, kData, kError, kDirectIO, kOutputComplete}));
    EXPECT_EQ(q.GetDirectIOIndex(), 3);

    EXPECT_TRUE(q.RemoveAt(0));
    EXPECT_EQ(Types(), (std::vector<LONG>{kData, kError, kDirectIO, kOutputComplete}));

    EXPECT_FALSE(q.RemoveFirstID(kStatus));
    EXPECT_TRUE(q.RemoveFirstID(0));  // the oldest of any type
    EXPECT_EQ(Types(), (std::vector<LONG>{kError, kDirectIO, kOutputComplete}));

    OposEvent e;
    ASSERT_TRUE(q.TakeFirst(kOutputComplete, &e));
    EXPECT_EQ(e.p1, 5);
    EXPECT_FALSE(q.TakeFirst(kOutputComplete, &e));
    EXPECT_EQ(Types(), (std::vector<LONG>{kError, kDirectIO}));
}

TEST_F(EventQueueTest, RemoveAllByType) {
    EXPECT_EQ(q.RemoveAll(kDirectIO), 2);
    EXPECT_EQ(q.GetDirectIOIndex(), -1);
    EXPECT_EQ(q.RemoveAll(kDirectIO), 0);
    EXPECT_EQ(Types(), (std::vector<LONG>{kStatus, kData, kError, kOutputComplete}));
    EXPECT_EQ(q.RemoveAll(0), 4);
    EXPECT_EQ(q.GetSize(), 0);
    OposEvent e;
    EXPECT_FALSE(q.GetFirstData(&e));
    EXPECT_FALSE(q.TakeFirst(0, &e));
}

// A delivery looks at an event, calls the control (without the queue's lock), then
// removes what it delivered. If the queue was cleared and refilled meanwhile, the
// removal must not take the newcomer.
TEST_F(EventQueueTest, RemoveBySeqNeverTakesALaterEvent) {
    OposEvent looked;
    ASSERT_TRUE(q.GetFirstData(&looked));
    EXPECT_EQ(q.RemoveAll(0), 6);
    uint64_t newcomer = q.QueueEvent(Ev(kStatus, 12));
    EXPECT_NE(newcomer, looked.seq);

    EXPECT_FALSE(q.Remove(looked.seq));
    ASSERT_EQ(q.GetSize(), 1);
    EXPECT_TRUE(q.Remove(newcomer));
    EXPECT_EQ(q.GetSize(), 0);
}

TEST_F(EventQueueTest, RemoveBySeqInTheMiddle) {
    OposEvent e;
    ASSERT_TRUE(q.GetAt(3, &e));
    EXPECT_TRUE(q.Remove(e.seq));
    EXPECT_FALSE(q.Remove(e.seq));
    EXPECT_FALSE(q.Remove(0));
    EXPECT_EQ(Types(), (std::vector<LONG>{kStatus, kData, kDirectIO, kDirectIO, kOutputComplete}));
}

TEST(EventQueue, OnlyTheFiveEventTypesAreQueued) {
    COposEvent q;
    for (LONG type : {0, 6, -1}) EXPECT_EQ(q.QueueEvent(Ev(type, 1)), 0u) << type;
    EXPECT_EQ(q.GetSize(), 0);
    for (LONG type = kData; type <= kStatus; ++type)
        EXPECT_NE(q.QueueEvent(Ev(type, 1)), 0u) << type;
    EXPECT_EQ(q.GetSize(), 5);
}

TEST(EventQueue, TextKeepsEveryByte) {
    COposEvent q;
    const std::string text("\x00\x1B\xFF tail", 7);
    q.QueueEvent(OposEvent{kDirectIO, 1, 2, 0, 0, text});
    OposEvent e;
    ASSERT_TRUE(q.TakeFirst(kDirectIO, &e));
    EXPECT_EQ(e.text, text);
}

// Two producers queue concurrently while a consumer takes events one at a time: every
// event arrives exactly once and each producer's events arrive in their order.
TEST(EventQueue, ProducersAndConsumerLoseNothing) {
    constexpr LONG kPerProducer = 20000;
    COposEvent q;
    std::mutex mu;
    std::condition_variable cv;
    auto produce = [&](LONG type) {
        for (LONG i = 0; i < kPerProducer; ++i) {
            q.QueueEvent(Ev(type, i));
            // Passing through the consumer's mutex orders this wake-up after its look.
            { std::lock_guard<std::mutex> lk(mu); }
            cv.notify_one();
        }
    };
    std::thread a(produce, kData);
    std::thread b(produce, kStatus);

    LONG next[2] = {0, 0};
    uint64_t lastSeq = 0;
    bool ordered = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (next[0] + next[1] < 2 * kPerProducer) {
        OposEvent e;
        if (!q.TakeFirst(0, &e)) {
            std::unique_lock<std::mutex> lk(mu);
            if (!cv.wait_until(lk, deadline, [&] { return q.GetSize() > 0; })) break;
            continue;
        }
        LONG& n = next[e.type == kData ? 0 : 1];
        if (e.p1 != n || e.seq <= lastSeq) ordered = false;
        lastSeq = e.seq;
        ++n;
    }
    a.join();
    b.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(next[0], kPerProducer);
    EXPECT_EQ(next[1], kPerProducer);
    EXPECT_EQ(q.GetSize(), 0);
}

}  // namespace
