// The slot table of the shared ports and the event-delivery guard.
#include "printer/shared/shared_port_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "printer/shared/delivery_guard.h"
#include "printer/shared/fake_status_driver.h"
#include "printer/shared/shared_port.h"

namespace {

TEST(SharedPortTable, SlotsOfPortIndexes) {
    std::atomic<int> made{0};
    SharedPortTable table([&]() -> std::unique_ptr<CPortDriver> {
        ++made;
        return std::make_unique<FakeStatusDriver>();
    });
    for (LONG index : {-1, 0, 1001, 2000}) EXPECT_EQ(table.Get(index), nullptr) << index;
    EXPECT_EQ(made.load(), 0);

    SharedPort* first = table.Get(1);
    SharedPort* last = table.Get(1000);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(last, nullptr);
    EXPECT_NE(first, last);
    EXPECT_EQ(table.Get(1), first);
    EXPECT_NE(first->PortDriver(), last->PortDriver());
    EXPECT_EQ(made.load(), 2);
}

TEST(SharedPortTable, ConcurrentFirstRequestsMakeOnePort) {
    std::atomic<int> made{0};
    SharedPortTable table([&]() -> std::unique_ptr<CPortDriver> {
        ++made;
        return std::make_unique<FakeStatusDriver>();
    });
    std::vector<SharedPort*> got(16);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < got.size(); ++i) threads.emplace_back([&, i] { got[i] = table.Get(5); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(std::set<SharedPort*>(got.begin(), got.end()).size(), 1u);
    EXPECT_NE(got[0], nullptr);
    EXPECT_EQ(made.load(), 1);
}

TEST(SharedPortTable, NoDriverNoPort) {
    bool give = false;
    SharedPortTable table([&]() -> std::unique_ptr<CPortDriver> {
        if (!give) return nullptr;
        return std::make_unique<FakeStatusDriver>();
    });
    EXPECT_EQ(table.Get(3), nullptr);
    give = true;
    EXPECT_NE(table.Get(3), nullptr);
    SharedPortTable none(nullptr);
    EXPECT_EQ(none.Get(3), nullptr);
}

TEST(EventDeliveryGuard, OnlyTheOutermostTurnFires) {
    EventDeliveryGuard guard;
    {
        EventDeliveryGuard::Turn outer(guard);
        EXPECT_TRUE(outer.first());
        {
            // A handler of the first event waits with dispatch: a second event comes in.
            EventDeliveryGuard::Turn inner(guard);
            EXPECT_FALSE(inner.first());
        }
        // Another thread's delivery meanwhile must wait too.
        bool otherFirst = true;
        std::thread([&] {
            EventDeliveryGuard::Turn t(guard);
            otherFirst = t.first();
        }).join();
        EXPECT_FALSE(otherFirst);
    }
    EXPECT_EQ(guard.Depth(), 0);
    EventDeliveryGuard::Turn again(guard);
    EXPECT_TRUE(again.first());
    // Two libraries: two guards, independent.
    EventDeliveryGuard other;
    EventDeliveryGuard::Turn t(other);
    EXPECT_TRUE(t.first());
}

}  // namespace
