// The output queue: the priority rule, clearing and closing around the current block.
#include "ports/output_queue.h"

#include <gtest/gtest.h>

#include <cctype>
#include <thread>

namespace {

using ports::OutputBlock;
using ports::OutputQueue;
using Verdict = OutputQueue::Verdict;

CSvcBase* const kA = reinterpret_cast<CSvcBase*>(0x10);
CSvcBase* const kB = reinterpret_cast<CSvcBase*>(0x20);

OutputBlock Block(const std::string& data, CSvcBase* owner = kA, bool priority = false) {
    OutputBlock b;
    b.data = data;
    b.owner = owner;
    b.priority = priority;
    return b;
}

// The data of every block the output thread takes from now on, in order.
std::string Drain(OutputQueue& q) {
    std::string out;
    OutputBlock b;
    while (q.Queued() > 0 && q.Take(&b)) {
        out += b.data + ",";
        q.Done();
    }
    return out;
}

TEST(OutputQueue, PriorityBlocksGoBehindTheLastPriorityBlockAheadOfOrdinaryOnes) {
    struct Case {
        const char* pushes;  // lowercase: ordinary, uppercase: priority; '|' = take one
        const char* taken;   // what was taken at '|', then the rest in order
    } cases[] = {
        {"abc", "a,b,c,"},       {"aBC", "B,C,a,"},
        {"abCdE", "C,E,a,b,d,"}, {"a|bC", "a,C,b,"},  // never ahead of the block being written
        {"aB|Cd", "B,C,a,d,"},  // the current block was the first priority block
        {"A|B|c", "A,B,c,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pushes);
        OutputQueue q;
        std::string taken;
        for (const char* p = c.pushes; *p; ++p) {
            if (*p == '|') {
                OutputBlock b;
                ASSERT_TRUE(q.Take(&b));
                taken += b.data + ",";
                q.Done();
                continue;
            }
            q.Push(Block(std::string(1, *p), kA, std::isupper(static_cast<unsigned char>(*p))));
        }
        EXPECT_EQ(taken + Drain(q), c.taken);
    }
}

TEST(OutputQueue, ClearAndCloseDropQueuedBlocksAndMarkTheCurrentOne) {
    struct Case {
        const char* name;
        bool close;        // DropOwner instead of Clear
        bool flag;         // purgeDevice / abandonCurrent
        CSvcBase* who;     // whose output
        Verdict verdict;   // for the current block (kA's)
        const char* rest;  // what remains queued
    } cases[] = {
        {"clear", false, false, kA, Verdict::kContinue, "b1,"},
        {"clear+purge", false, true, kA, Verdict::kAbandonPurge, "b1,"},
        {"close", true, false, kA, Verdict::kContinue, "b1,"},
        {"close+abandon", true, true, kA, Verdict::kAbandon, "b1,"},
        {"other's clear", false, true, kB, Verdict::kContinue, "A2,a3,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OutputQueue q;
        q.Push(Block("a1"));
        OutputBlock current;
        ASSERT_TRUE(q.Take(&current));
        q.Push(Block("a3"));
        q.Push(Block("b1", kB));
        q.Push(Block("A2", kA, true));
        EXPECT_EQ(q.Check(), Verdict::kContinue);
        if (c.close) {
            q.DropOwner(c.who, c.flag);
        } else {
            q.Clear(c.who, c.flag);
        }
        EXPECT_EQ(q.Check(), c.verdict);
        EXPECT_EQ(q.ClearRequested(), !c.close && c.who == kA);
        EXPECT_EQ(q.Owns(kA, true), true);
        q.Done();
        EXPECT_EQ(Drain(q), c.rest);
    }
}

TEST(OutputQueue, RequestsForTheCurrentBlockEndWithIt) {
    OutputQueue q;
    q.Push(Block("a1"));
    q.Push(Block("a2"));
    OutputBlock b;
    ASSERT_TRUE(q.Take(&b));
    q.DropOwner(kA, true);
    EXPECT_EQ(q.Check(), Verdict::kAbandon);
    q.Done();
    q.Push(Block("a3"));
    ASSERT_TRUE(q.Take(&b));
    EXPECT_EQ(b.data, "a3");
    EXPECT_EQ(q.Check(), Verdict::kContinue) << "a request of the earlier block";
    q.Clear(nullptr, true);
    EXPECT_EQ(q.Check(), Verdict::kContinue) << "an anonymous clear does not touch kA's block";
    EXPECT_FALSE(q.Owns(kB, true));
}

TEST(OutputQueue, StopEndsAWaitingTake) {
    OutputQueue q;
    std::thread stopper([&] { q.Stop(); });
    OutputBlock b;
    EXPECT_FALSE(q.Take(&b));
    stopper.join();
    q.Push(Block("late"));
    EXPECT_EQ(q.Queued(), 0u) << "nothing is queued after Stop";
}

}  // namespace
