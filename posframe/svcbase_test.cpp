// The base of service objects with a control played by the test: event hand-over,
// refused deliveries, the event mask and the event thread's end.
#include "posframe/svcbase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "include/opos.h"
#include "posframe/reginfo.h"
#include "tests/support/testenv.h"

namespace {

using plat::DispParams;
using plat::Variant;

class MiniSO : public CSvcBase {
public:
    static void Describe(plat::DispatchMap<MiniSO>&) {}
    LONG Open(IDispatch* co, LONG mask, const std::string& name = "Mini") {
        LONG rc = OpenInit("POSPrinter", name, co, mask, FALSE);
        if (rc) return rc;
        m_bOpen = TRUE;
        StartEventThread();
        return 0;
    }
    void Close() {
        m_bOpen = FALSE;
        CloseBase();
    }
    void Enable() {
        m_bDeviceEnabled = TRUE;
        m_bDataEventEnabled = TRUE;
        WakeEventThread();
    }
    using CSvcBase::GetCOVersion;
    using CSvcBase::StopEventThread;

    KAVRO_DISPATCH_TABLE(MiniSO)
};

// A control: records callbacks, refuses the first `refuse` of them.
struct FakeControl {
    std::vector<std::string> names{"SOData", "SODirectIO", "SOError", "SOOutputComplete",
                                   "SOStatusUpdate", "ControlObjectVersion"};
    std::atomic<int> refuse{0};
    std::mutex lock;
    std::vector<std::pair<int, DWORD>> calls;  // (callback id, thread)
    plat::ComPtr<> disp;

    explicit FakeControl(std::vector<std::string> n = {}) {
        if (!n.empty()) names = std::move(n);
        disp = plat::LambdaDispatch::Create(
            [this](DISPID id, uint16_t flags, DispParams& args, Variant* r) -> HRESULT {
                if (names[static_cast<size_t>(id - 1)] == "ControlObjectVersion") {
                    *r = Variant(int32_t{1003000});
                    return S_OK;
                }
                std::lock_guard<std::mutex> g(lock);
                calls.emplace_back(id, GetCurrentThreadId());
                *r = Variant(int32_t{refuse > 0 ? (refuse--, 1) : 0});
                return S_OK;
            },
            names);
    }
    size_t Count() {
        std::lock_guard<std::mutex> g(lock);
        return calls.size();
    }
};

class SvcBase : public ::testing::Test {
protected:
    void SetUp() override {
        reg.Import(R"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\Mini]
"Port"="USB1"
[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\Mini2]
"Port"="usb1"
[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\Other]
"Port"="LAN7"
[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\Fixed]
"PortIndex"=dword:0000002a
)");
    }
    testenv::Registry reg;
};

TEST_F(SvcBase, ARefusedDeliveryStaysQueuedUntilTheControlTakesIt) {
    FakeControl co;
    co.refuse = 3;
    plat::ComPtr<MiniSO> so = plat::ComPtr<MiniSO>::Adopt(new MiniSO);
    ASSERT_EQ(so->Open(co.disp.get(), 30), 0);
    so->Enable();
    so->QueueEvent(OposEvent{EVT_STATUSUPDATE, 1001, 0, 0, 0, ""});
    ASSERT_TRUE(PumpUntil([&] { return co.Count() >= 4 && so->m_Events.GetSize() == 0; }, 5000));
    EXPECT_EQ(co.Count(), 4u) << "three refusals, then one delivery";
    for (auto& c : co.calls) EXPECT_EQ(c.second, GetCurrentThreadId());
    so->Close();
}

TEST_F(SvcBase, OpenInitResolvesOnlyTheCallbacksTheMaskNeeds) {
    FakeControl withoutDataOrError({"SODirectIO", "SOStatusUpdate"});
    struct Case {
        LONG mask;
        LONG result;
        BOOL dataEventEnabled;
    } cases[] = {{18, 0, TRUE}, {2, 0, TRUE}, {7, OPOS_E_NOSERVICE, FALSE}};
    for (const Case& c : cases) {
        plat::ComPtr<MiniSO> so = plat::ComPtr<MiniSO>::Adopt(new MiniSO);
        EXPECT_EQ(so->Open(withoutDataOrError.disp.get(), c.mask), c.result) << c.mask;
        if (c.result == 0) {
            EXPECT_EQ(so->m_bDataEventEnabled.load(), c.dataEventEnabled);
        }
        so->Close();
    }
    FakeControl full;
    plat::ComPtr<MiniSO> so = plat::ComPtr<MiniSO>::Adopt(new MiniSO);
    EXPECT_EQ(so->Open(full.disp.get(), 31), 0);
    EXPECT_FALSE(so->m_bDataEventEnabled.load());
    EXPECT_EQ(so->GetCOVersion(), 1003000);
    EXPECT_EQ(so->Open(full.disp.get(), 31), OPOS_E_ILLEGAL) << "already initialised";
    so->Close();
    plat::ComPtr<MiniSO> none = plat::ComPtr<MiniSO>::Adopt(new MiniSO);
    EXPECT_EQ(none->Open(full.disp.get(), 31, "NoSuchEntry"), OPOS_E_NOEXIST);
    EXPECT_EQ(none->Open(nullptr, 31), OPOS_E_ILLEGAL);
}

TEST_F(SvcBase, EntriesNamingOnePortShareItsIndex) {
    FakeControl co;
    auto index = [&](const char* name) {
        plat::ComPtr<MiniSO> so = plat::ComPtr<MiniSO>::Adopt(new MiniSO);
        EXPECT_EQ(so->Open(co.disp.get(), 18, name), 0) << name;
        LONG i = so->m_nPortIndex;
        so->Close();
        return i;
    };
    LONG a = index("Mini"), b = index("Mini2"), c = index("Other");
    EXPECT_GE(a, 1);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(index("Fixed"), 42);
}

TEST_F(SvcBase, CloseEndsAnEventThreadWaitingOnAnUnservedHandOver) {
    FakeControl co;
    plat::ComPtr<MiniSO> so = plat::ComPtr<MiniSO>::Adopt(new MiniSO);
    ASSERT_EQ(so->Open(co.disp.get(), 30), 0);
    so->Enable();
    // The event thread sends the hand-over; this thread does not dispatch it.
    so->QueueEvent(OposEvent{EVT_STATUSUPDATE, 1, 0, 0, 0, ""});
    so->QueueEvent(OposEvent{EVT_STATUSUPDATE, 2, 0, 0, 0, ""});
    so->m_bOpen = FALSE;
    EXPECT_TRUE(so->StopEventThread(5000));
    so->Close();
}

}  // namespace
