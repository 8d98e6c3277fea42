// A service object for tests: a configurable dispatch surface, configurable results, a
// call log, and events raised from whichever thread a test chooses. Its device entry
// configures it:
//   "EventMask" DWORD (31), "Version" DWORD (1003001), "OpenResult" and
//   "OpenResultExtended" DWORD (0), "CloseFailures" DWORD (0: Close fails with 111 that
//   many times first), "Description" string.
// The control resolves the dispatch surface before OpenService names the entry, so the
// names left out of the surface ("Omit", comma-separated) are read at creation from
// HKEY_LOCAL_MACHINE\SOFTWARE\KAVRO\TestSO.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "include/opos.h"
#include "platform/ascii.h"
#include "platform/automation/classes.h"
#include "platform/registry/registry.h"
#include "posframe/reginfo.h"
#include "posframe/svcbase.h"

namespace {

std::atomic<long> g_destroyed{0};
std::mutex g_lastLock;
plat::ComPtr<> g_last;

class CTestSO : public CSvcBase {
public:
    ~CTestSO() override {
        if (m_bOpen) Close();
        ++g_destroyed;
    }

    static void Describe(plat::DispatchMap<CTestSO>& m) {
        m.Method("OpenService", &CTestSO::OpenService)
            .Method("Close", &CTestSO::Close)
            .Method("Claim", &CTestSO::Claim)
            .Method("Release", &CTestSO::ReleaseDevice)
            .Method("CheckHealth", &CTestSO::CheckHealth)
            .Method("DirectIO", &CTestSO::DirectIO)
            .Method("ClearInput", &CTestSO::ClearInput)
            .Method("GetPropertyNumber", &CTestSO::GetPropertyNumber)
            .Method("SetPropertyNumber", &CTestSO::SetPropertyNumber)
            .Method("GetPropertyString", &CTestSO::GetPropertyString)
            .Method("SetPropertyString", &CTestSO::SetPropertyString)
            .Method("COFreezeEvents", &CTestSO::COFreezeEvents)
            .Method("RollBack", &CTestSO::RollBack)
            .Method("EchoRef", &CTestSO::EchoRef)
            .Method("RaiseEvent", &CTestSO::RaiseEvent)
            .Method("QueuedEvents", &CTestSO::QueuedEvents)
            .Method("LastErrorResponse", &CTestSO::LastErrorResponse)
            .Method("CallLog", &CTestSO::CallLog);
    }

    HRESULT GetIDsOfNames(const std::string& name, DISPID* id) override {
        std::string n = "," + plat::AsciiLower(name) + ",";
        {
            std::lock_guard<std::mutex> g(lock_);
            if (omit_.find(n) != std::string::npos) return DISP_E_UNKNOWNNAME;
        }
        return CSvcBase::GetIDsOfNames(name, id);
    }

    // Reads the entry's configuration before the control resolves the surface.
    void Configure() {
        std::lock_guard<std::mutex> g(lock_);
        omit_ = "," + plat::AsciiLower(config_.omit) + ",";
        omit_.erase(std::remove(omit_.begin(), omit_.end(), ' '), omit_.end());
    }

    LONG OpenService(const std::string& deviceClass, const std::string& deviceName, IDispatch* co) {
        plat::CSingleLock lock(m_csObject);
        Log("OpenService(" + deviceClass + "," + deviceName + ")");
        LoadConfig(deviceClass, deviceName);
        if (config_.openResult) return SetResult(config_.openResult, config_.openResultExtended);
        LONG rc = OpenInit(deviceClass, deviceName, co, config_.eventMask, FALSE);
        if (rc) return SetResult(rc, 0);
        m_lServiceObjectVersion = config_.version;
        m_strServiceObjectDescription = config_.description;
        m_strDeviceDescription = "Test device " + deviceName;
        m_strDeviceName = deviceName;
        m_bOpen = TRUE;
        m_lState = OPOS_S_IDLE;
        StartEventThread();
        return SetResult(OPOS_SUCCESS);
    }

    LONG Close() {
        plat::CSingleLock lock(m_csObject);
        Log("Close()");
        if (!m_bOpen) return SetResult(OPOS_E_CLOSED);
        if (config_.closeFailures > 0) {
            --config_.closeFailures;
            return SetResult(OPOS_E_FAILURE);
        }
        m_bOpen = FALSE;
        CloseBase();
        m_Events.RemoveAll(0);
        m_lState = OPOS_S_CLOSED;
        m_lClaimed = 0;
        m_bDeviceEnabled = FALSE;
        m_bFreezeEvents = FALSE;
        m_bCOFreeze = FALSE;
        return SetResult(OPOS_SUCCESS);
    }

    LONG Claim(LONG timeout) {
        plat::CSingleLock lock(m_csObject);
        Log("Claim(" + std::to_string(timeout) + ")");
        if (!m_bOpen) return SetResult(OPOS_E_CLOSED);
        ++m_lClaimed;
        return SetResult(OPOS_SUCCESS);
    }

    LONG ReleaseDevice() {
        plat::CSingleLock lock(m_csObject);
        Log("Release()");
        if (!m_bOpen) return SetResult(OPOS_E_CLOSED);
        if (m_lClaimed == 0) return SetResult(OPOS_E_ILLEGAL, 10014);
        if (--m_lClaimed == 0) m_bDeviceEnabled = FALSE;
        return SetResult(OPOS_SUCCESS);
    }

    LONG CheckHealth(LONG level) {
        plat::CSingleLock lock(m_csObject);
        Log("CheckHealth(" + std::to_string(level) + ")");
        if (!m_bOpen) return SetResult(OPOS_E_CLOSED);
        m_strCheckHealthText = "Internal HCheck: Successful";
        return SetResult(OPOS_SUCCESS);
    }

    // Command 1 queues a DirectIO event (number *data, text *text); command 2 doubles
    // *data and appends "!" to *text; others answer 106.
    LONG DirectIO(LONG command, LONG* data, std::string* text) {
        plat::CSingleLock lock(m_csObject);
        Log("DirectIO(" + std::to_string(command) + ")");
        if (!m_bOpen) return SetResult(OPOS_E_CLOSED);
        if (command == 1) {
            QueueEvent(OposEvent{EVT_DIRECTIO, *data, 0, 0, 0, *text});
            return SetResult(OPOS_SUCCESS);
        }
        if (command == 2) {
            *data *= 2;
            *text += "!";
            return SetResult(OPOS_SUCCESS);
        }
        return SetResult(OPOS_E_ILLEGAL, 10006);
    }

    LONG ClearInput() {
        plat::CSingleLock lock(m_csObject);
        Log("ClearInput()");
        if (!m_bOpen) return SetResult(OPOS_E_CLOSED);
        m_Events.RemoveAll(EVT_DATA);
        m_Events.RemoveAll(EVT_ERROR);
        RemovePendingMessages(WM_SO_EVENT, m_hWnd);
        return SetResult(OPOS_SUCCESS);
    }

    LONG GetPropertyNumber(LONG pidx) {
        switch (pidx) {
            case PIDX_ResultCode: return m_lResultCode;
            case PIDX_ResultCodeExtended: return m_lResultCodeExtended;
            case PIDX_State: return m_lState;
        }
        if (!m_bOpen) return 0;
        switch (pidx) {
            case PIDX_Claimed: return m_lClaimed;
            case PIDX_DataEventEnabled: return m_bDataEventEnabled;
            case PIDX_DeviceEnabled: return m_bDeviceEnabled;
            case PIDX_FreezeEvents: return m_bFreezeEvents;
            case PIDX_ServiceObjectVersion: return m_lServiceObjectVersion;
            case PIDX_AutoDisable: return m_bAutoDisable;
            case PIDX_BinaryConversion: return m_lBinaryConversion;
            case PIDX_DataCount: return m_lDataCount;
            case PIDX_PowerNotify: return m_lPowerNotify;
            case PIDX_PowerState: return m_lPowerState;
            case PIDX_CapPowerReporting: return m_lCapPowerReporting;
        }
        return 0;
    }

    void SetPropertyNumber(LONG pidx, LONG value) {
        plat::CSingleLock lock(m_csObject);
        Log("SetPropertyNumber(" + std::to_string(pidx) + "," + std::to_string(value) + ")");
        if (!m_bOpen) {
            SetResult(OPOS_E_CLOSED);
            return;
        }
        SetResult(OPOS_SUCCESS);
        switch (pidx) {
            case PIDX_DataEventEnabled: m_bDataEventEnabled = value != 0; break;
            case PIDX_DeviceEnabled:
                if (m_lClaimed == 0) {
                    SetResult(OPOS_E_NOTCLAIMED);
                    return;
                }
                m_bDeviceEnabled = value != 0;
                break;
            case PIDX_FreezeEvents: m_bFreezeEvents = value != 0; break;
            case PIDX_AutoDisable: m_bAutoDisable = value != 0; break;
            case PIDX_BinaryConversion:
                if (value < 0 || value > 2) {
                    SetResult(OPOS_E_ILLEGAL, 300001);
                    return;
                }
                m_lBinaryConversion = value;
                break;
            case PIDX_PowerNotify: m_lPowerNotify = value; break;
            default: SetResult(OPOS_E_ILLEGAL, 10004); return;
        }
        WakeEventThread();
    }

    std::string GetPropertyString(LONG pidx) {
        if (!m_bOpen) return "[Error]";
        plat::CSingleLock lock(m_csObject);
        switch (pidx) {
            case PIDX_CheckHealthText: return m_strCheckHealthText;
            case PIDX_DeviceDescription: return m_strDeviceDescription;
            case PIDX_DeviceName: return m_strDeviceName;
            case PIDX_ServiceObjectDescription: return m_strServiceObjectDescription;
        }
        return "[Error]";
    }

    void SetPropertyString(LONG pidx, const std::string& value) {
        Log("SetPropertyString(" + std::to_string(pidx) + ")");
        SetResult(OPOS_E_ILLEGAL);
    }

    LONG COFreezeEvents(bool freeze) {
        Log(std::string("COFreezeEvents(") + (freeze ? "1" : "0") + ")");
        if (!m_bOpen) return OPOS_E_CLOSED;
        m_bCOFreeze = freeze;
        if (!freeze) WakeEventThread();
        return OPOS_SUCCESS;
    }

    LONG RollBack(LONG n) {
        Log("RollBack(" + std::to_string(n) + ")");
        return m_bOpen ? SetResult(OPOS_SUCCESS) : SetResult(OPOS_E_CLOSED);
    }

    LONG EchoRef(LONG* n, std::string* s) {
        Log("EchoRef()");
        *n += 1;
        *s += "?";
        return OPOS_SUCCESS;
    }

    // Queues an event of any type from the calling thread.
    LONG RaiseEvent(LONG type, LONG p1, LONG p2, LONG p3, LONG p4, const std::string& text) {
        QueueEvent(OposEvent{type, p1, p2, p3, p4, text});
        return OPOS_SUCCESS;
    }

    LONG QueuedEvents() { return m_Events.GetSize(); }
    LONG LastErrorResponse() { return lastResponse_; }

    std::string CallLog() {
        std::lock_guard<std::mutex> g(lock_);
        std::string out;
        for (const auto& line : log_) out += line + "\n";
        return out;
    }

protected:
    void EventDelivered(const OposEvent& event, LONG, const std::string&, LONG response) override {
        if (event.type == EVT_ERROR) lastResponse_ = response;
    }

    KAVRO_DISPATCH_TABLE(CTestSO)

    struct Config {
        LONG eventMask = 31;
        LONG version = 1003001;
        LONG openResult = 0, openResultExtended = 0;
        LONG closeFailures = 0;
        std::string omit;
        std::string description = "Test service object";
    };

    void LoadConfig(const std::string& deviceClass, const std::string& deviceName) {
        CRegistryInfo reg(deviceName, 0, FALSE);
        if (!reg.GetDeviceInfo(deviceName, CRegistryInfo::ConvKey(deviceClass))) return;
        DWORD d = 0;
        if (reg.GetDWORD("EventMask", &d)) config_.eventMask = static_cast<LONG>(d);
        if (reg.GetDWORD("Version", &d)) config_.version = static_cast<LONG>(d);
        if (reg.GetDWORD("OpenResult", &d)) config_.openResult = static_cast<LONG>(d);
        if (reg.GetDWORD("OpenResultExtended", &d)) config_.openResultExtended = static_cast<LONG>(d);
        if (reg.GetDWORD("CloseFailures", &d)) config_.closeFailures = static_cast<LONG>(d);
        reg.GetString("Description", &config_.description);
    }

    void Log(const std::string& line) {
        std::lock_guard<std::mutex> g(lock_);
        log_.push_back(line);
    }

public:
    Config config_;
    std::mutex lock_;
    std::vector<std::string> log_;
    std::string omit_ = ",,";
    std::atomic<LONG> lastResponse_{0};
};

IDispatch* CreateTestSO() {
    auto* so = new CTestSO;
    plat::reg::GetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\KAVRO\\TestSO", "Omit", &so->config_.omit);
    so->Configure();
    std::lock_guard<std::mutex> g(g_lastLock);
    g_last = plat::ComPtr<>(so);
    return so;
}

plat::ComModule& Module() {
    static plat::ComModule module = [] {
        plat::ComModule m;
        plat::ClassInfo info;
        info.progId = "KavroTest.SO";
        plat::GuidFromString("{6B1D3E01-5A7C-4E1B-9C30-2F4A00000100}", &info.clsid);
        info.description = "Test service object";
        info.create = CreateTestSO;
        m.Add(std::move(info));
        return m;
    }();
    return module;
}

}  // namespace

KAVRO_SERVER_EXPORTS(Module())

// For tests: the last created object (a new reference, or null), and how many died.
extern "C" __attribute__((visibility("default"))) IDispatch* KavroTestSO_Last() {
    std::lock_guard<std::mutex> g(g_lastLock);
    IDispatch* p = g_last.get();
    if (p) p->AddRef();
    return p;
}

extern "C" __attribute__((visibility("default"))) void KavroTestSO_Forget() {
    std::lock_guard<std::mutex> g(g_lastLock);
    g_last.reset();
}

extern "C" __attribute__((visibility("default"))) long KavroTestSO_Destroyed() {
    return g_destroyed.load();
}
