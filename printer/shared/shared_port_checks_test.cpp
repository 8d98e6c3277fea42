// The pre-output checks on the cached status (automatic status has arrived, so no check
// may send anything).
#include <gtest/gtest.h>

#include <memory>

#include "include/opos.h"
#include "include/opos_ptr.h"
#include "printer/shared/fake_status_driver.h"
#include "printer/shared/shared_port.h"

namespace {

// Status and layout of one case.
enum : unsigned {
    kOffline = 1 << 0,
    kCover = 1 << 1,
    kFeeding = 1 << 2,
    kJrnEmpty = 1 << 3,
    kRecEmpty = 1 << 4,
    kSlipMode = 1 << 5,
    kForm = 1 << 6,
    kMicr = 1 << 7,
    kUnrec = 1 << 8,
    kMech = 1 << 9,
    kCutter = 1 << 10,
    kAutoRec = 1 << 11,
    kNoAutoStatus = 1 << 12,
    kUnclaimed = 1 << 13,
};
enum : unsigned { kJrn = 1, kRec = 2, kSlp = 4, kSlpEmptySensor = 8 };
constexpr unsigned kAllCaps = kJrn | kRec | kSlp | kSlpEmptySensor;

class CheckFixture : public ::testing::Test {
  protected:
    CheckFixture() {
        auto driver = std::make_unique<FakeStatusDriver>();
        fake_ = driver.get();
        port_ = std::make_unique<SharedPort>(std::move(driver));
        fake_->Attach(port_.get());
        fake_->SetAnswer(1, {FakeStatusDriver::Mode::Refuse, 0});
        fake_->SetAnswer(3, {FakeStatusDriver::Mode::Refuse, 0});
    }

    void Apply(unsigned state, unsigned caps) {
        port_->Reset();
        port_->SetStationCaps(!(state & kNoAutoStatus), caps & kJrn, caps & kRec, caps & kSlp,
                              caps & kSlpEmptySensor, FALSE);
        if (!(state & kUnclaimed)) port_->SetPrinterClaimed();
        SharedPortStatus st;
        st.online = !(state & kOffline);
        st.coverOpen = state & kCover;
        st.feeding = state & kFeeding;
        st.journalEmpty = state & kJrnEmpty;
        st.receiptEmpty = state & kRecEmpty;
        st.unrecoverableError = state & kUnrec;
        st.mechanicalError = state & kMech;
        st.cutterError = state & kCutter;
        st.recoverableError = state & kAutoRec;
        port_->StoreStatus(st);
        port_->StoreSlipStatus(false, false, state & kSlipMode, state & kForm);
        port_->SetMicrMode(state & kMicr);
        port_->SignalStatusBack();
    }

    FakeStatusDriver* fake_;
    std::unique_ptr<SharedPort> port_;
};

struct StationRow {
    const char* name;
    unsigned state;
    unsigned caps;
    LONG station;
    LONG rc, ext;
};

TEST_F(CheckFixture, CheckStationTable) {
    const StationRow rows[] = {
        {"no auto status", kCover | kOffline | kNoAutoStatus, kAllCaps, PTR_S_RECEIPT, 0, 0},
        {"not claimed", kCover | kOffline | kUnclaimed, kAllCaps, kNoStation, 0, 0},
        // No station: only offline matters, with the reason as extended code.
        {"none online", kCover | kJrnEmpty | kSlipMode | kMicr, kAllCaps, kNoStation, 0, 0},
        {"none offline cover", kOffline | kCover | kJrnEmpty, kAllCaps, kNoStation, 108, 201},
        {"none offline jrn", kOffline | kJrnEmpty | kRecEmpty, kAllCaps, kNoStation, 108, 202},
        {"none offline jrn no cap", kOffline | kJrnEmpty, kRec, kNoStation, 108, 0},
        {"none offline rec", kOffline | kRecEmpty, kAllCaps, kNoStation, 108, 203},
        {"none offline", kOffline, kAllCaps, kNoStation, 108, 0},
        // Stations: first that holds.
        {"cover before offline", kCover | kOffline, kAllCaps, PTR_S_RECEIPT, 114, 201},
        {"jrn empty", kJrnEmpty | kRecEmpty | kOffline, kAllCaps, PTR_S_RECEIPT, 114, 202},
        {"jrn empty no cap", kJrnEmpty, kRec, PTR_S_RECEIPT, 0, 0},
        {"rec empty", kRecEmpty | kOffline, kAllCaps, PTR_S_JOURNAL, 114, 203},
        {"offline", kOffline | kFeeding | kSlipMode, kAllCaps, PTR_S_RECEIPT, 108, 0},
        {"feeding", kFeeding | kSlipMode, kAllCaps, PTR_S_SLIP, 111, 0},
        {"station 0 any mode", kSlipMode | kMicr, kAllCaps, 0, 0, 0},
        // Slip stations.
        {"slip not slip mode", 0, kAllCaps, PTR_S_SLIP, 106, 10010},
        {"slip no form", kSlipMode | kMicr, kAllCaps, PTR_S_SLIP, 114, 204},
        {"slip no form no sensor", kSlipMode, kJrn | kRec | kSlp, PTR_S_SLIP, 0, 0},
        {"slip micr", kSlipMode | kForm | kMicr, kAllCaps, PTR_S_SLIP, 111, 10018},
        {"slip ready", kSlipMode | kForm, kAllCaps, PTR_S_SLIP, 0, 0},
        {"jrn+slip", 0, kAllCaps, PTR_S_JOURNAL_SLIP, 106, 10010},
        {"rec+slip", 0, kAllCaps, PTR_S_RECEIPT_SLIP, 106, 10010},
        {"two slip jrn", 0, kAllCaps, PTR_TWO_SLIP_JOURNAL, 106, 10010},
        {"two slip rec ready", kSlipMode | kForm, kAllCaps, PTR_TWO_SLIP_RECEIPT, 0, 0},
        // MICR path.
        {"micr path micr", kMicr | kSlipMode, kAllCaps, kMicrPath, 111, 10018},
        {"micr path", kSlipMode, kAllCaps, kMicrPath, 0, 0},
        // Roll stations.
        {"rec slip mode", kSlipMode | kMicr, kAllCaps, PTR_S_RECEIPT, 106, 10010},
        {"rec micr", kMicr, kAllCaps, PTR_S_RECEIPT, 111, 10018},
        {"jrn ready", 0, kAllCaps, PTR_S_JOURNAL, 0, 0},
        {"jrn+rec slip mode", kSlipMode, kAllCaps, PTR_S_JOURNAL_RECEIPT, 106, 10010},
        {"two rec jrn micr", kMicr, kAllCaps, PTR_TWO_RECEIPT_JOURNAL, 111, 10018},
        // Errors are CheckPrinterErrors' business, not this check's.
        {"errors ignored", kUnrec | kMech, kAllCaps, PTR_S_RECEIPT, 0, 0},
    };
    for (const StationRow& r : rows) {
        Apply(r.state, r.caps);
        LONG ext = -1;
        EXPECT_EQ(port_->CheckStation(&ext, r.station), r.rc) << r.name;
        EXPECT_EQ(ext, r.ext) << r.name;
    }
    EXPECT_TRUE(fake_->Blocks().empty());
}

TEST_F(CheckFixture, CheckPrinterErrorsTable) {
    const StationRow rows[] = {
        {"clean", kCover | kOffline | kFeeding, kAllCaps, 0, 0, 0},
        {"unrecoverable first", kUnrec | kMech | kCutter | kAutoRec, kAllCaps, 0, 111, 100003},
        {"mechanical", kMech | kCutter | kAutoRec, kAllCaps, 0, 111, 100005},
        {"cutter", kCutter | kAutoRec, kAllCaps, 0, 111, 100004},
        {"overheat", kAutoRec, kAllCaps, 0, 111, 100006},
        {"overheat with cover open", kAutoRec | kCover, kAllCaps, 0, 0, 0},
        {"no auto status", kUnrec | kNoAutoStatus, kAllCaps, 0, 0, 0},
        {"not claimed", kUnrec | kUnclaimed, kAllCaps, 0, 0, 0},
    };
    for (const StationRow& r : rows) {
        Apply(r.state, r.caps);
        LONG ext = -1;
        EXPECT_EQ(port_->CheckPrinterErrors(&ext), r.rc) << r.name;
        EXPECT_EQ(ext, r.ext) << r.name;
    }
    EXPECT_TRUE(fake_->Blocks().empty());
}

// Outside the printer's claim, or without automatic status, nothing is asked even when
// no status has arrived.
TEST_F(CheckFixture, NoRequestsOutsideTheClaim) {
    for (unsigned state : {kNoAutoStatus, kUnclaimed}) {
        port_->Reset();
        port_->SetStationCaps(!(state & kNoAutoStatus), TRUE, TRUE, FALSE, FALSE, FALSE);
        if (!(state & kUnclaimed)) port_->SetPrinterClaimed();
        LONG ext = -1;
        EXPECT_EQ(port_->CheckPrinterErrors(&ext), 0);
        EXPECT_EQ(ext, 0);
        EXPECT_EQ(port_->CheckStation(&ext, PTR_S_RECEIPT), 0);
        EXPECT_EQ(ext, 0);
    }
    EXPECT_TRUE(fake_->Blocks().empty());
}

TEST_F(CheckFixture, ResetClearsTheCacheAndKeepsMicrModeAndSlipLayout) {
    port_->SetStationCaps(TRUE, TRUE, TRUE, TRUE, TRUE, TRUE);
    port_->SetPrinterClaimed();
    port_->SetMicrMode(true);
    port_->SetRomVersionId(7);
    SharedPortStatus st;
    st.online = false;
    st.coverOpen = true;
    st.drawerPin = 1;
    port_->StoreStatus(st);
    port_->SignalStatusBack();
    port_->PostStatusReply(0x16);
    port_->PostStatusReply(0x00);  // not a status reply: ignored

    port_->Reset();
    const SharedPortStatus now = port_->Status();
    EXPECT_TRUE(now.online);
    EXPECT_FALSE(now.coverOpen);
    EXPECT_EQ(now.drawerPin, -1);
    EXPECT_FALSE(port_->PrinterClaimed());
    EXPECT_FALSE(port_->StatusBackSignalled());
    EXPECT_EQ(port_->RomVersionId(), 0u);
    EXPECT_TRUE(port_->MicrMode());
    EXPECT_EQ(port_->LastReply(), 0x16);
    const SharedPortCaps caps = port_->Caps();
    EXPECT_FALSE(caps.autoStatus || caps.jrn || caps.rec || caps.slpEmptySensor);
    EXPECT_TRUE(caps.slp && caps.slpFullslip);

    port_->SetPrinterClaimed();
    port_->StoreStatus(st);
    port_->ClearPrinterClaimed();
    EXPECT_EQ(port_->Status().drawerPin, -1);
}

}  // namespace
