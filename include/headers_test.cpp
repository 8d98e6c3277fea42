// All constant headers in one translation unit: no name is defined twice, and the values
// that two headers must agree on do agree.
#include <gtest/gtest.h>

#include "include/kavro_codes.h"
#include "include/opos.h"
#include "include/opos_cash.h"
#include "include/opos_disp.h"
#include "include/opos_lock.h"
#include "include/opos_micr.h"
#include "include/opos_msr.h"
#include "include/opos_ptr.h"
#include "include/opos_tot.h"
#include "include/portdrv.h"

// Service objects store these driver results unchanged as their extended code.
static_assert(PD_E_NOPORT == KAVRO_E_NOPORT);
static_assert(PD_E_INUSE == KAVRO_E_INUSE);
static_assert(PD_E_BUSY == KAVRO_E_CLOSEBUSY);
static_assert(PD_E_NOPOWER == KAVRO_E_NOPOWER);

static_assert(KavroArgError(1) == KAVRO_E_ARG1 && KavroArgError(7) == KAVRO_E_ARG7);

// Power status events report the PowerState they move to.
static_assert(OPOS_SUE_POWER_ONLINE == OPOS_PS_ONLINE);
static_assert(OPOS_SUE_POWER_OFF_OFFLINE == OPOS_PS_OFF_OFFLINE);

TEST(OposHeaders, PidxTypeFollowsTheStringBase) {
    struct Case {
        LONG pidx;
        bool isString;
    };
    const Case cases[] = {
        {PIDX_Claimed, false},
        {PIDX_CapPowerReporting, false},
        {PIDXPtr_CapTransaction, false},
        {PIDXMsr_CapJISTwo, false},
        {PIDX_STRING - 1, false},
        {PIDX_CheckHealthText, true},
        {PIDX_ServiceObjectDescription, true},
        {PIDXPtr_SlpBarCodeRotationList, true},
        {PIDXMicr_TransitNumber, true},
        {PIDXMsr_Track3Data, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PidxIsString(c.pidx), c.isString) << c.pidx;
        EXPECT_EQ(PidxIsNumber(c.pidx), !c.isString) << c.pidx;
    }
    EXPECT_FALSE(PidxIsNumber(-1));
    EXPECT_FALSE(PidxIsString(-1));
}
