// OpenService and Close of the printer service object.
#include "include/kavro_codes.h"
#include "include/opos.h"
#include "platform/clock/clock.h"
#include "platform/ui/ui.h"
#include "ports/portdrv.h"
#include "posframe/reginfo.h"
#include "printer/frame/app.h"
#include "printer/ptr/soptr.h"
#include "printer/shared/response_splitter.h"
#include "printer/shared/shared_port.h"
#include "printer/shared/slip_sensor.h"

namespace {

const char kInfVersionText[] =
    "Registry information is invalid.\nPlease add the device again by using PosConfig.";
const char kMessageCaption[] = "POS Printer";

}  // namespace

CSoptrCtrl::CSoptrCtrl(printer::CPrinterApp& app) : app_(app) {
    firstStatus_ = CreateEvent(TRUE, FALSE);
    secondStatus_ = CreateEvent(TRUE, FALSE);
    modeAnswered_ = CreateEvent(TRUE, FALSE);
    jobDone_ = CreateEvent(TRUE, FALSE);
    outputStop_ = CreateEvent(TRUE, FALSE);
    outputWake_ = CreateEvent(FALSE, FALSE);
    errorPending_ = CreateEvent(TRUE, FALSE);
    splitter_ = std::make_unique<ResponseSplitter>();
}

CSoptrCtrl::~CSoptrCtrl() {
    if (m_bOpen) Close();
    // A close loop that gave up left the object registered: it must be gone before the
    // object is.
    if (portOpen_) ClosePort();
    CloseBase();
    CloseHandle(firstStatus_);
    CloseHandle(secondStatus_);
    CloseHandle(modeAnswered_);
    CloseHandle(jobDone_);
    CloseHandle(outputStop_);
    CloseHandle(outputWake_);
    CloseHandle(errorPending_);
}

LONG CSoptrCtrl::OpenService(const std::string& deviceClass, const std::string& deviceName,
                             IDispatch* co) {
    plat::CSingleLock lock(m_csObject);
    if (m_bOpen) return SetResult(OPOS_E_ILLEGAL, KAVRO_E_ALREADYOPEN);

    // 1. The base: control, callbacks, device entry, port index, hidden window.
    if (LONG rc = OpenInit(deviceClass, deviceName, co, 30, FALSE)) {
        m_lResultCode = rc;
        return rc;
    }

    // 2. The entry must be of this generation of the service.
    CRegistryInfo reg(deviceName, 0, FALSE);
    DWORD infVersion = 0;
    if (!reg.GetDeviceInfo(deviceName, CRegistryInfo::ConvKey(deviceClass)) ||
        !reg.GetDWORD("INFVersion", &infVersion) || infVersion != printer::kInfVersion) {
        MessageBox(m_hWnd, kInfVersionText, kMessageCaption, MB_OK | MB_ICONSTOP);
        // Undone so that the object can be opened again.
        UndoOpenInit();
        return OPOS_E_NOSERVICE;
    }

    // 3. The shared port of the port index.
    shared_ = app_.GetSharedPort(m_nPortIndex);
    if (!shared_) {
        UndoOpenInit();
        return SetResult(OPOS_E_ILLEGAL, KAVRO_E_NOPORT);
    }

    // 4. Reset it and take its driver. A port that another printer object holds keeps its
    // status and claim: resetting them would blind that object's checks.
    if (!shared_->PrinterClaimed()) shared_->Reset();
    port_ = shared_->PortDriver();

    // 5. Open, idle, event thread, power reporting.
    m_bOpen = TRUE;
    SetState(OPOS_S_IDLE);
    StartEventThread();
    m_lCapPowerReporting = OPOS_PR_STANDARD;

    // 6. The model: capabilities, station tables, number properties, string lists.
    reg.GetString("Port", &portText_);
    LoadModel();

    // 7. The printer's layout for the shared port's checks.
    shared_->SetStationCaps(model_.AutoStatus(), model_.Present(printer::kJournal),
                            model_.Present(printer::kReceipt), model_.Present(printer::kSlip),
                            Cap(PIDXPtr_CapSlpEmptySensor) != 0, model_.SlipFullslip());

    // 8. Command strings. 9. Line metrics and the print-mode state come with printing.
    SetCommandStrings();

    // 10. Output block size, the earlier slip insertion procedure, line speed.
    DWORD v = 0;
    outputBuf_ = reg.GetDWORD("OutputBuf", &v) ? v : 1024;
    legacyInsertion_ = reg.GetDWORD("POSPrinter", "LegacyInsertion", &v) && v != 0;
    DWORD baud = reg.GetDWORD("Baudrate", &v) ? v : 0;
    lineSpeed_ = (baud == 0 || baud >= 11) ? 115200 : (150u << baud);

    // 11. The slip-sensor object of the model's slip type.
    if (!slip_)
        slip_ = CreateSlipSensorState(static_cast<LONG>(model_.slipType), model_.SlipSensorMode());

    m_lServiceObjectVersion = kServiceObjectVersion;
    m_strDeviceName = deviceName;
    std::string desc;
    m_strDeviceDescription = reg.GetString("Description", &desc) && !desc.empty()
                                 ? desc
                                 : "KAVRO POS printer " + deviceName;
    m_strServiceObjectDescription = app_.Traits().description;

    // 12. StartEventThread returned once the thread runs.
    return SetResult(OPOS_SUCCESS);
}

void CSoptrCtrl::UndoOpenInit() {
    CloseBase();
    m_Events.RemoveAll(0);
}

void CSoptrCtrl::LoadModel() {
    CRegistryInfo reg(m_strDevName, 0, FALSE);
    reg.GetDeviceInfo(m_strDevName, CRegistryInfo::ConvKey(m_strDevClass));
    model_ = printer::LoadModel(reg);
    for (size_t i = 0; i < caps_.size(); ++i) caps_[i] = model_.caps[i];
    for (size_t i = 0; i < numbers_.size(); ++i) numbers_[i] = model_.numbers[i];
    for (size_t i = 0; i < strings_.size(); ++i) strings_[i] = model_.strings[i];
    settings_ = model_.settings;
    static constexpr LONG kSpacing[printer::kStationCount] = {
        PIDXPtr_JrnLineSpacing, PIDXPtr_RecLineSpacing, PIDXPtr_SlpLineSpacing};
    for (int s = 0; s < printer::kStationCount; ++s)
        lineSpacingDots_[s] = std::min<LONG>(std::max<LONG>(Number(kSpacing[s]), 0), 255);
}

void CSoptrCtrl::SetCommandStrings() {
    selectPrinter_ = std::string("\x1b\x3d\x01", 3);
    static const char kStationByte[printer::kStationCount] = {0x01, 0x02, 0x04};
    for (int s = 0; s < printer::kStationCount; ++s) {
        char n = kStationByte[s];
        if (s == printer::kSlip && !model_.SlipFullslip()) n = 0x08;  // validation printing
        stationSelect_[s][0] = std::string("\x1b\x63\x30", 3) + n;
        stationSelect_[s][1] = std::string("\x1b\x63\x31", 3) + n;
    }
    if (model_.PresentCount() == 1)
        for (auto& strings : stationSelect_) strings[0].clear(), strings[1].clear();
    // Cut strings come with paper cutting.
}

LONG CSoptrCtrl::Close() {
    plat::CSingleLock lock(m_csObject);
    const BOOL wasFrozen = m_bFreezeEvents;
    m_bFreezeEvents = TRUE;
    if (!m_bOpen) return SetResult(OPOS_E_CLOSED);
    if (m_lClaimed > 0) {
        m_lClaimed = 0;
        if (!ReleaseDeviceNow()) {
            // The driver still has this object: it stays open and claimed, so that the
            // control can try again (and keeps delivering its events).
            m_lClaimed = 1;
            m_bFreezeEvents = wasFrozen;
            return SetResult(OPOS_E_FAILURE, KAVRO_E_CLOSEBUSY);
        }
    }
    // A close loop that gave up at Claim left the port registered: the driver could still
    // call back into this object, so it must not close until the driver lets it go.
    if (portOpen_ && ClosePort() != PD_E_NOTOPEN) {
        m_bFreezeEvents = wasFrozen;
        return SetResult(OPOS_E_FAILURE, KAVRO_E_CLOSEBUSY);
    }
    if (!shared_->PrinterClaimed()) shared_->Reset();
    m_bOpen = FALSE;
    RemovePendingMessages(WM_SO_EVENT, m_hWnd);
    StopEventThread();
    SleepWPM(kCloseSettleMs);
    CloseBase();
    ResetObjectState();
    slip_.reset();
    queue_.Replace(false);
    return SetResult(OPOS_SUCCESS);
}

void CSoptrCtrl::ResetObjectState() {
    m_lState = OPOS_S_CLOSED;
    m_lClaimed = 0;
    m_bDeviceEnabled = FALSE;
    m_bFreezeEvents = FALSE;
    m_bCOFreeze = FALSE;
    outputId_ = 0;
    m_lResultCode = 0;
    m_lResultCodeExtended = 0;
    m_strCheckHealthText.clear();
    m_Events.RemoveAll(0);
    m_lPowerNotify = OPOS_PN_DISABLED;
    m_lPowerState = OPOS_PS_UNKNOWN;
    powerRecovery_ = false;
    idleReported_ = false;
}
