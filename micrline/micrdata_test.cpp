// The record store of CMicrData: order, removal, CMC7 records and delivery across threads.
#include "micrline/micrdata.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Record {
    std::string raw, account, amount, bank, serial, epc, transit;
    LONG checkType = 0, countryCode = 0;
};

Record Oldest(CMicrData& data) {
    Record r;
    data.GetProperty(r.raw, r.account, r.amount, r.bank, r.serial, r.epc, r.transit, r.checkType,
                     r.countryCode);
    return r;
}

BOOL Pop(CMicrData& data, Record& r) {
    return data.PopOldest(r.raw, r.account, r.amount, r.bank, r.serial, r.epc, r.transit,
                          r.checkType, r.countryCode);
}

void ExpectEmptyValues(const Record& r) {
    EXPECT_EQ(r.raw + r.account + r.amount + r.bank + r.serial + r.epc + r.transit, "");
    EXPECT_EQ(r.checkType, 99);
    EXPECT_EQ(r.countryCode, 99);
}

// A store holding three records whose serial numbers are 1001, 1002, 1003.
class Store : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 1; i <= 3; ++i) Add(1000 + i);
    }
    void Add(int serial) {
        std::string line = "T123456780T1234567890O" + std::to_string(serial);
        data.Add(line, TRUE, FALSE);
    }
    std::vector<std::string> Serials() {
        std::vector<std::string> out;
        Record r;
        while (Pop(data, r)) out.push_back(r.serial);
        return out;
    }
    CMicrData data;
};

TEST_F(Store, GetPropertyGivesTheOldestAndKeepsIt) {
    EXPECT_EQ(Oldest(data).serial, "1001");
    EXPECT_EQ(Oldest(data).serial, "1001");
    EXPECT_EQ(data.GetSize(), 3);
    EXPECT_EQ(Serials(), (std::vector<std::string>{"1001", "1002", "1003"}));
}

TEST_F(Store, RemoveByIndex) {
    using V = std::vector<std::string>;
    const V all{"1001", "1002", "1003"};
    const struct {
        LONG index;
        V left;
    } cases[] = {
        {-1, {}},  {0, {"1002", "1003"}}, {1, {"1001", "1003"}}, {2, {"1001", "1002"}}, {3, all},
        {-2, all}, {INT_MIN, all},        {INT_MAX, all},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        Serials();
        for (int i = 1; i <= 3; ++i) Add(1000 + i);
        data.Remove(c.index);
        EXPECT_EQ(data.GetSize(), static_cast<LONG>(c.left.size()));
        EXPECT_EQ(Serials(), c.left);
    }
}

TEST_F(Store, EmptyStoreGivesEmptyValues) {
    data.Remove(-1);
    EXPECT_EQ(data.GetSize(), 0);
    ExpectEmptyValues(Oldest(data));
    Record r;
    r.raw = "stale";
    r.checkType = 1;
    EXPECT_EQ(Pop(data, r), FALSE);
    ExpectEmptyValues(r);
    data.Remove(0);
    EXPECT_EQ(data.GetSize(), 0);
}

TEST(Cmc7, StoredAsRawDataOnlyAndTranslatedInPlace) {
    CMicrData data;
    data.Setting(3);
    std::string line = "S1234D567 890S";
    EXPECT_EQ(data.Add(line, FALSE, FALSE), TRUE);
    EXPECT_EQ(line, "s1234-567 890s");
    Record r = Oldest(data);
    EXPECT_EQ(r.raw, "s1234-567 890s") << "DeleteChar never touches RawData";
    EXPECT_EQ(r.account + r.amount + r.bank + r.serial + r.epc + r.transit, "");
    EXPECT_EQ(r.checkType, 99);
    EXPECT_EQ(r.countryCode, 99);
}

TEST(Setting, AppliesToLaterReads) {
    CMicrData data;
    std::string line = "T1234D56780T1234567890O1001";
    data.Add(line, TRUE, FALSE);
    data.Setting(2);
    data.Add(line, TRUE, FALSE);
    Record r;
    ASSERT_TRUE(Pop(data, r));
    EXPECT_EQ(r.transit, "1234-56780");
    ASSERT_TRUE(Pop(data, r));
    EXPECT_EQ(r.transit, "123456780");
}

// A reader thread adds while the event thread delivers: every record arrives once, in order,
// both with the look-then-remove sequence and with PopOldest.
enum class Delivery { LookThenRemove, PopOldest };

class Concurrency : public ::testing::TestWithParam<Delivery> {};

TEST_P(Concurrency, EveryRecordDeliveredOnceInOrder) {
    constexpr int kReads = 2000;
    CMicrData data;
    std::thread reader([&] {
        for (int i = 0; i < kReads; ++i) {
            std::string line = "T123456780T1234567890O" + std::to_string(100000 + i);
            data.Add(line, TRUE, FALSE);
        }
    });
    std::vector<std::string> delivered;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (delivered.size() < kReads && std::chrono::steady_clock::now() < deadline) {
        Record r;
        if (GetParam() == Delivery::PopOldest) {
            if (Pop(data, r)) {
                delivered.push_back(r.serial);
                continue;
            }
        } else if (data.GetSize() > 0) {
            r = Oldest(data);
            data.Remove(0);
            delivered.push_back(r.serial);
            continue;
        }
        std::this_thread::yield();
    }
    reader.join();
    ASSERT_EQ(delivered.size(), static_cast<size_t>(kReads));
    for (int i = 0; i < kReads; ++i) ASSERT_EQ(delivered[i], std::to_string(100000 + i));
    EXPECT_EQ(data.GetSize(), 0);
}

INSTANTIATE_TEST_SUITE_P(Delivery, Concurrency,
                         ::testing::Values(Delivery::LookThenRemove, Delivery::PopOldest),
                         [](const auto& p) {
                             return p.param == Delivery::PopOldest ? std::string("PopOldest")
                                                                   : "LookThenRemove";
                         });

}  // namespace
