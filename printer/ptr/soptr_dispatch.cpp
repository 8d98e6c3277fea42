// The dispatch surface of the printer service object, and the methods whose features are
// built with later parts of the printer (they answer their state checks, then "not
// supported").
#include "include/kavro_codes.h"
#include "include/opos.h"
#include "ports/portdrv.h"
#include "printer/frame/app.h"
#include "printer/frame/build_traits.h"
#include "printer/ptr/soptr.h"

void CSoptrCtrl::Describe(plat::DispatchMap<CSoptrCtrl>& m) {
    m.Method("CheckHealth", &CSoptrCtrl::CheckHealth)
        .Method("ClearOutput", &CSoptrCtrl::ClearOutput)
        .Method("Close", &CSoptrCtrl::Close)
        .Method("DirectIO", &CSoptrCtrl::DirectIO)
        .Method("Claim", &CSoptrCtrl::Claim)
        .Method("Release", &CSoptrCtrl::ReleaseDevice)
        .Method("CutPaper", &CSoptrCtrl::CutPaper)
        .Method("PrintBarCode", &CSoptrCtrl::PrintBarCode)
        .Method("RotatePrint", &CSoptrCtrl::RotatePrint)
        .Method("SetLogo", &CSoptrCtrl::SetLogo)
        .Method("GetPropertyNumber", &CSoptrCtrl::GetPropertyNumber)
        .Method("GetPropertyString", &CSoptrCtrl::GetPropertyString)
        .Method("SetPropertyNumber", &CSoptrCtrl::SetPropertyNumber)
        .Method("SetPropertyString", &CSoptrCtrl::SetPropertyString)
        .Method("COFreezeEvents", &CSoptrCtrl::COFreezeEvents)
        .Method("OpenService", &CSoptrCtrl::OpenService)
        .Method("BeginInsertion", &CSoptrCtrl::BeginInsertion)
        .Method("BeginRemoval", &CSoptrCtrl::BeginRemoval)
        .Method("EndInsertion", &CSoptrCtrl::EndInsertion)
        .Method("EndRemoval", &CSoptrCtrl::EndRemoval)
        .Method("PrintBitmap", &CSoptrCtrl::PrintBitmap)
        .Method("PrintImmediate", &CSoptrCtrl::PrintImmediate)
        .Method("PrintNormal", &CSoptrCtrl::PrintNormal)
        .Method("PrintTwoNormal", &CSoptrCtrl::PrintTwoNormal)
        .Method("SetBitmap", &CSoptrCtrl::SetBitmap)
        .Method("TransactionPrint", &CSoptrCtrl::TransactionPrint)
        .Method("ValidateData", &CSoptrCtrl::ValidateData);
}

LONG CSoptrCtrl::CommonCheck(bool allowDisabled) {
    if (!m_bOpen) return SetResult(OPOS_E_CLOSED);
    if (m_lClaimed == 0) return SetResult(ClaimedElsewhere() ? OPOS_E_CLAIMED : OPOS_E_NOTCLAIMED);
    if (!m_bDeviceEnabled && !allowDisabled) return SetResult(OPOS_E_DISABLED);
    return SetResult(OPOS_SUCCESS);
}

LONG CSoptrCtrl::NotSupported() {
    plat::CSingleLock lock(m_csObject);
    if (LONG rc = CommonCheck()) return rc;
    return SetResult(OPOS_E_ILLEGAL, KAVRO_E_NOTSUPPORTED);
}

LONG CSoptrCtrl::CheckHealth(LONG) {
    return NotSupported();
}

LONG CSoptrCtrl::DirectIO(LONG command, LONG* data, std::string* text) {
    plat::CSingleLock lock(m_csObject);
    if (!m_bOpen) return SetResult(OPOS_E_CLOSED);
    const printer::BuildTraits& traits = app_.Traits();
    if (command == printer::kDirectIOSimControl && traits.simControl) {
        // The loop build's simulator control: open or claimed, it needs no claim, so a
        // script can change the printer's state at any point of the lifecycle.
        std::string reply;
        if (!text || !traits.simControl(portText_, *text, &reply))
            return SetResult(OPOS_E_ILLEGAL, KAVRO_E_NOPORT);
        *text = reply;
        return SetResult(OPOS_SUCCESS);
    }
    if (LONG rc = CommonCheck()) return rc;
    return SetResult(OPOS_E_ILLEGAL, KAVRO_E_NOTSUPPORTED);
}

LONG CSoptrCtrl::ClearOutput() {
    plat::CSingleLock lock(m_csObject);
    if (LONG rc = CommonCheck(true)) return rc;
    ResetEvent(errorPending_);
    m_Events.RemoveAll(EVT_ERROR);
    queue_.Clear();
    port_->ClearOutputBuffer(this, FALSE);
    if (m_lState == OPOS_S_BUSY || m_lState == OPOS_S_ERROR) SetState(OPOS_S_IDLE);
    return SetResult(OPOS_SUCCESS);
}

LONG CSoptrCtrl::CutPaper(LONG) {
    return NotSupported();
}
LONG CSoptrCtrl::PrintBarCode(LONG, const std::string&, LONG, LONG, LONG, LONG, LONG) {
    return NotSupported();
}
LONG CSoptrCtrl::RotatePrint(LONG, LONG) {
    return NotSupported();
}
LONG CSoptrCtrl::SetLogo(LONG, const std::string&) {
    return NotSupported();
}
LONG CSoptrCtrl::BeginInsertion(LONG) {
    return NotSupported();
}
LONG CSoptrCtrl::BeginRemoval(LONG) {
    return NotSupported();
}
LONG CSoptrCtrl::EndInsertion() {
    return NotSupported();
}
LONG CSoptrCtrl::EndRemoval() {
    return NotSupported();
}
LONG CSoptrCtrl::PrintBitmap(LONG, const std::string&, LONG, LONG) {
    return NotSupported();
}
LONG CSoptrCtrl::PrintImmediate(LONG, const std::string&) {
    return NotSupported();
}
LONG CSoptrCtrl::PrintNormal(LONG, const std::string&) {
    return NotSupported();
}
LONG CSoptrCtrl::PrintTwoNormal(LONG, const std::string&, const std::string&) {
    return NotSupported();
}
LONG CSoptrCtrl::SetBitmap(LONG, LONG, const std::string&, LONG, LONG) {
    return NotSupported();
}
LONG CSoptrCtrl::TransactionPrint(LONG, LONG) {
    return NotSupported();
}
LONG CSoptrCtrl::ValidateData(LONG, const std::string&) {
    return NotSupported();
}
