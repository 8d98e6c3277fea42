#include "posframe/svcbase.h"

#include "include/opos.h"
#include "platform/clock/clock.h"
#include "posframe/binconv.h"
#include "posframe/reginfo.h"

namespace {
const char* const kCallbackNames[5] = {"SOData", "SODirectIO", "SOError", "SOOutputComplete",
                                       "SOStatusUpdate"};
}

CSvcBase::CSvcBase() {
    m_hWake = CreateEvent(FALSE, FALSE);
    m_hRunning = CreateEvent(TRUE, FALSE);
}

CSvcBase::~CSvcBase() {
    m_bOpen = FALSE;
    CloseBase();
    CloseHandle(m_hWake);
    CloseHandle(m_hRunning);
}

LONG CSvcBase::OpenInit(const std::string& deviceClass, const std::string& deviceName,
                        IDispatch* co, LONG eventMask, BOOL flag) {
    if (!co || m_hWnd != 0) return OPOS_E_ILLEGAL;
    CRegistryInfo reg(deviceName, 0, FALSE);
    if (!reg.GetDeviceInfo(deviceName, CRegistryInfo::ConvKey(deviceClass))) return OPOS_E_NOEXIST;

    DISPID ids[5];
    for (int i = 0; i < 5; ++i) {
        ids[i] = plat::DISPID_UNKNOWN;
        if ((eventMask & (1L << i)) && FAILED(co->GetIDsOfNames(kCallbackNames[i], &ids[i])))
            return OPOS_E_NOSERVICE;
    }
    HWND hwnd = CreateHiddenWindow([this](HWND, UINT msg, WPARAM w, LPARAM l) {
        if (msg != WM_SO_EVENT) return WindowProc(msg, w, l);
        // A hand-over runs the application's handler, which may close this object.
        ++m_handOverDepth;
        LRESULT r = WindowProc(msg, w, l);
        --m_handOverDepth;
        return r;
    });
    if (!hwnd) return OPOS_E_FAILURE;

    m_co = co;
    for (int i = 0; i < 5; ++i) m_coIds[i] = ids[i];
    m_strDevClass = deviceClass;
    m_strDevName = deviceName;
    m_lEventMask = eventMask;
    m_bOpenFlag = flag;
    m_bDataEventEnabled = (eventMask & EventMaskBit(EVT_DATA)) ? FALSE : TRUE;
    m_nPortIndex = AssignPortIndex(reg.EntryKey());
    m_hWnd = hwnd;
    return OPOS_SUCCESS;
}

LONG CSvcBase::GetCOVersion(IDispatch* co) {
    IDispatch* target = co ? co : m_co;
    if (!target) return 0;
    DISPID id;
    if (FAILED(target->GetIDsOfNames("ControlObjectVersion", &id))) return 0;
    plat::DispParams none;
    plat::Variant v;
    if (FAILED(target->Invoke(id, plat::DISPATCH_PROPERTYGET, none, &v))) return 0;
    int32_t version = 0;
    return v.ToLong(&version) ? version : 0;
}

void CSvcBase::CloseBase() {
    StopEventThread();
    if (m_hWnd) {
        DestroyWindow(m_hWnd);
        m_hWnd = 0;
    }
    m_co = nullptr;
    for (auto& id : m_coIds) id = plat::DISPID_UNKNOWN;
}

// --- Event thread ---

BOOL CSvcBase::StartEventThread() {
    // A thread told to stop from inside a hand-over is joined here at the latest.
    if (m_hThread && m_bStopThread && !StopEventThread()) return FALSE;
    if (m_hThread) return TRUE;
    m_bStopThread = FALSE;
    ResetEvent(m_hRunning);
    m_hThread = CreateThread([this]() -> DWORD { return ProcessEvents(); });
    if (!m_hThread) return FALSE;
    // Serve the window meanwhile: the thread may already hand over an event.
    return WaitForSingleObjectWPM(m_hRunning, 10000) == WAIT_OBJECT_0;
}

void CSvcBase::WakeEventThread() { SetEvent(m_hWake); }

BOOL CSvcBase::StopEventThread(DWORD timeoutMs) {
    if (!m_hThread) return TRUE;
    m_bStopThread = TRUE;
    RemovePendingMessages(WM_SO_EVENT, m_hWnd);
    SetEvent(m_hWake);
    if (m_handOverDepth > 0 && GetWindowThreadId(m_hWnd) == GetCurrentThreadId()) {
        // Called from the application's handler of an event this thread hands over: the
        // event thread waits for that very handler, so it cannot be joined now. It ends
        // once the handler returns; the next start or the destructor joins it.
        return TRUE;
    }
    DWORD start = GetTickCount();
    DWORD r = WAIT_TIMEOUT;
    while (r == WAIT_TIMEOUT && GetTickCount() - start < timeoutMs) {
        RemovePendingMessages(WM_SO_EVENT, m_hWnd);
        r = WaitForSingleObjectWPM(m_hThread, 10);
    }
    if (r != WAIT_OBJECT_0) return FALSE;
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    ResetEvent(m_hRunning);
    return TRUE;
}

BOOL CSvcBase::EventThreadRunning() const { return m_hThread != nullptr; }

bool CSvcBase::CanHandOver() const { return !m_bFreezeEvents && !m_bCOFreeze; }

DWORD CSvcBase::ProcessEvents() {
    SetEvent(m_hRunning);
    WaitForSingleObject(m_hWake, 10);
    while (m_bOpen && !m_bStopThread) {
        if (!CanHandOver() || m_Events.GetSize() == 0) {
            // Parked until a queueing, an unfreeze or Close wakes it; the bound only
            // re-checks the flags.
            WaitForSingleObject(m_hWake, 1000);
            continue;
        }
        LRESULT result = SO_NOT_DELIVERED;
        SendStatus status = SendStatus::NotDelivered;
        if (m_bDeviceEnabled && m_bDataEventEnabled) {
            status = SendMessageEx(m_hWnd, WM_SO_EVENT, 0, 0, &result);
        } else {
            LONG index = m_Events.GetDirectIOIndex();
            if (index < 0) {
                WaitForSingleObject(m_hWake, 1000);
                continue;
            }
            status = SendMessageEx(m_hWnd, WM_SO_EVENT, 2, index, &result);
        }
        if (status != SendStatus::Delivered || result == SO_NOT_DELIVERED)
            WaitForSingleObject(m_hWake, kPollInterval);  // refused: try again shortly
    }
    return 0;
}

void CSvcBase::QueueEvent(const OposEvent& event) {
    m_Events.QueueEvent(event);
    WakeEventThread();
}

LRESULT CSvcBase::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SO_EVENT) return OnEventHandOver(wParam, lParam);
    return 0;
}

LONG CSvcBase::OnEventHandOver(WPARAM wParam, LPARAM lParam) {
    if (!m_bOpen || m_bCOFreeze) return SO_NOT_DELIVERED;
    OposEvent ev;
    if (wParam == 2) {
        if (!m_Events.GetAt(static_cast<LONG>(lParam), &ev) || ev.type != EVT_DIRECTIO)
            return SO_NOT_DELIVERED;
    } else if (!m_Events.GetFirstData(&ev)) {
        return SO_NOT_DELIVERED;
    }
    if (ev.type < EVT_DATA || ev.type > EVT_STATUSUPDATE || m_coIds[ev.type - 1] == plat::DISPID_UNKNOWN) {
        // A type outside the event mask can never be delivered: drop it rather than
        // block the queue behind it.
        m_Events.Remove(ev.seq);
        return SO_DELIVERED;
    }
    LONG r = SO_NOT_DELIVERED;
    LONG data = ev.p2, response = ev.p4;
    std::string text;
    switch (ev.type) {
        case EVT_DATA:
            r = SOData(ev.p1);
            break;
        case EVT_DIRECTIO:
            text = ConvertToASCII(ev.text);
            r = SODirectIO(ev.p1, &data, &text);
            break;
        case EVT_ERROR:
            r = SOError(ev.p1, ev.p2, ev.p3, &response);
            break;
        case EVT_OUTPUTCOMPLETE:
            r = SOOutputComplete(ev.p1);
            break;
        case EVT_STATUSUPDATE:
            r = SOStatusUpdate(ev.p1);
            break;
    }
    if (r == SO_NOT_DELIVERED) return r;
    m_Events.Remove(ev.seq);
    EventDelivered(ev, data, text, response);
    return r;
}

// --- Callbacks into the control ---

LONG CSvcBase::Callback(int slot, plat::DispParams& args) {
    IDispatch* co = m_co;
    if (!co || m_coIds[slot] == plat::DISPID_UNKNOWN) return SO_NOT_DELIVERED;
    plat::Variant result;
    if (FAILED(co->Invoke(m_coIds[slot], plat::DISPATCH_METHOD, args, &result)))
        return SO_NOT_DELIVERED;
    int32_t r = 0;
    return (result.ToLong(&r) && r == SO_NOT_DELIVERED) ? SO_NOT_DELIVERED : SO_DELIVERED;
}

LONG CSvcBase::SOData(LONG status) {
    plat::DispParams a{status};
    return Callback(0, a);
}

LONG CSvcBase::SODirectIO(LONG eventNumber, LONG* data, std::string* text) {
    plat::DispParams a{eventNumber, data, text};
    return Callback(1, a);
}

LONG CSvcBase::SOError(LONG resultCode, LONG resultCodeExtended, LONG errorLocus,
                       LONG* errorResponse) {
    plat::DispParams a{resultCode, resultCodeExtended, errorLocus, errorResponse};
    return Callback(2, a);
}

LONG CSvcBase::SOOutputComplete(LONG outputId) {
    plat::DispParams a{outputId};
    return Callback(3, a);
}

LONG CSvcBase::SOStatusUpdate(LONG status) {
    plat::DispParams a{status};
    return Callback(4, a);
}

// --- Waits and conversions ---

void CSvcBase::SleepWPM(DWORD ms, BOOL dispatch, BOOL) {
    if (dispatch)
        ::SleepWPM(ms);
    else
        ::Sleep(ms);
}

DWORD CSvcBase::WaitForSingleObjectWPM(HANDLE h, DWORD ms, BOOL dispatch, BOOL) {
    return dispatch ? ::WaitForSingleObjectWPM(h, ms) : ::WaitForSingleObject(h, ms);
}

void CSvcBase::ProcessMessage(BOOL, BOOL) { PumpMessages(); }

LONG CSvcBase::ConvertToBinary(const std::string& in, std::string* out, LONG argExtended) {
    LONG extended = 0;
    LONG rc = ::ConvertToBinary(m_lBinaryConversion, in, out, argExtended, &extended);
    if (rc != OPOS_SUCCESS) SetResult(rc, extended);
    return rc;
}

std::string CSvcBase::ConvertToASCII(const std::string& in) {
    std::string out;
    if (::ConvertToASCII(m_lBinaryConversion, in, &out) != OPOS_SUCCESS) return in;
    return out;
}
