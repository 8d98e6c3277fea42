// The base of every service object: common properties, the event queue and its event
// thread, the hidden window on the control's thread, the callbacks into the control
// (SOData, SODirectIO, SOError, SOOutputComplete, SOStatusUpdate) and the
// message-dispatching waits.
#pragma once

#include <atomic>
#include <string>

#include "platform/automation/automation.h"
#include "platform/sync/sync.h"
#include "platform/window/window.h"
#include "posframe/dispatch_table.h"
#include "posframe/event_queue.h"

// Window message of the event hand-over: the event thread sends it to the hidden window
// so that delivery runs on the control's thread. wParam 0 = the oldest event,
// 2 = the DirectIO event at queue position lParam (other values: the type to deliver).
constexpr UINT WM_SO_EVENT = 0x7FF2;

// Result of an SO* callback.
constexpr LONG SO_DELIVERED = 0;
constexpr LONG SO_NOT_DELIVERED = 1;  // the control refused it: the event stays queued

using plat::IDispatch;

class CSvcBase : public plat::DispatchObject {
public:
    // --- Virtual slots, in this order; port drivers call the last five. ---
    // The event thread's body (the base's: hand queued events to the window).
    virtual DWORD ProcessEvents();
    // Appends an event to the queue and wakes the event thread.
    virtual void QueueEvent(const OposEvent& event);
    // Port driver callbacks, called on the driver's threads (never under its locks that
    // the service could also take): bytes read from the device (valid during the call),
    // a block written whole, a block that could not be delivered, the raw power state,
    // and a watched serial line's change (state 2, its new and old level).
    virtual void DataUpdate(const BYTE* data, LONG length) {}
    virtual void OutputDataComplete(LONG completionTag) {}
    virtual void PortError(LONG errorTag) {}
    virtual void PowerReport(LONG state) {}
    virtual void PowerReport(LONG state, BOOL newState, BOOL oldState) {}

    // Polling interval of the event thread in milliseconds.
    static constexpr DWORD kPollInterval = 5;

protected:
    CSvcBase();
    ~CSvcBase() override;

    // Initialises the base for OpenService: remembers class, name and the control,
    // resolves the control's callbacks that `eventMask` needs (bit type-1 per event
    // type), looks up the device entry and its port index, creates the hidden window on
    // the calling thread. DataEventEnabled starts TRUE when the mask has no data-event
    // bit (the object never raises data events), else FALSE. Returns 0, or
    // OPOS_E_ILLEGAL (no control, or already initialised), OPOS_E_NOEXIST (no device
    // entry), OPOS_E_NOSERVICE (the control lacks a callback the mask needs).
    LONG OpenInit(const std::string& deviceClass, const std::string& deviceName, IDispatch* co,
                  LONG eventMask, BOOL flag);
    // The control's ControlObjectVersion (0 when it has none). `co` defaults to the
    // control given to OpenInit.
    LONG GetCOVersion(IDispatch* co = nullptr);
    // Undoes OpenInit: stops the event thread, destroys the window, releases the control.
    void CloseBase();

    // Event thread control. StartEventThread waits until the thread runs.
    BOOL StartEventThread();
    // Wakes the event thread (after queueing, unfreezing, enabling).
    void WakeEventThread();
    // Ends the event thread: the open flag must be clear. Removes pending hand-overs,
    // wakes the thread and waits for it with message dispatch. FALSE on time-out.
    BOOL StopEventThread(DWORD timeoutMs = 10000);
    BOOL EventThreadRunning() const;

    // The window procedure of the hidden window; the base handles WM_SO_EVENT.
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // Delivers one queued event (on the window's thread). The base delivers the event
    // chosen by wParam/lParam through the SO* callback of its type and removes it when
    // the control took it. Returns SO_DELIVERED or SO_NOT_DELIVERED.
    virtual LONG OnEventHandOver(WPARAM wParam, LPARAM lParam);
    // Called after the control took an event: `data`/`text` and `response` are the values
    // the application left in the by-reference arguments (DirectIO, error).
    virtual void EventDelivered(const OposEvent& event, LONG data, const std::string& text,
                                LONG response) {}
    // Whether the base event thread may hand over now (frozen, disabled...).
    virtual bool CanHandOver() const;

    // Callbacks into the control (on the control's thread). SO_NOT_DELIVERED when the
    // control refused the event or is unreachable.
    LONG SOData(LONG status);
    LONG SODirectIO(LONG eventNumber, LONG* data, std::string* text);
    LONG SOError(LONG resultCode, LONG resultCodeExtended, LONG errorLocus, LONG* errorResponse);
    LONG SOOutputComplete(LONG outputId);
    LONG SOStatusUpdate(LONG status);

    // Message-dispatching waits (the calling thread's windows are served meanwhile).
    void SleepWPM(DWORD ms, BOOL dispatch = TRUE, BOOL unused = FALSE);
    DWORD WaitForSingleObjectWPM(HANDLE h, DWORD ms, BOOL dispatch = TRUE, BOOL unused = FALSE);
    void ProcessMessage(BOOL all = TRUE, BOOL unused = FALSE);

    // BinaryConversion with the object's current mode. Decode errors return
    // OPOS_E_ILLEGAL and set ResultCodeExtended to `argExtended` (300001 + arg index).
    LONG ConvertToBinary(const std::string& in, std::string* out, LONG argExtended = 300001);
    std::string ConvertToASCII(const std::string& in);

    // Stores and returns a result (ResultCode, ResultCodeExtended).
    LONG SetResult(LONG rc, LONG rcx = 0) {
        m_lResultCode = rc;
        m_lResultCodeExtended = rcx;
        return rc;
    }

public:
    // --- Members used directly by service objects. ---
    std::atomic<BOOL> m_bOpen{FALSE};
    std::atomic<LONG> m_lState{1};
    std::atomic<LONG> m_lResultCode{0};
    std::atomic<LONG> m_lResultCodeExtended{0};
    std::atomic<LONG> m_lClaimed{0};
    std::atomic<BOOL> m_bDeviceEnabled{FALSE};
    std::atomic<BOOL> m_bFreezeEvents{FALSE};
    std::atomic<BOOL> m_bDataEventEnabled{FALSE};
    std::atomic<BOOL> m_bAutoDisable{FALSE};
    std::atomic<LONG> m_lBinaryConversion{0};
    std::atomic<LONG> m_lDataCount{0};
    std::atomic<LONG> m_lPowerNotify{0};
    std::atomic<LONG> m_lPowerState{2000};
    std::atomic<LONG> m_lCapPowerReporting{0};
    std::atomic<LONG> m_lServiceObjectVersion{0};
    std::string m_strCheckHealthText;
    std::string m_strDeviceDescription;
    std::string m_strDeviceName;
    std::string m_strServiceObjectDescription;
    std::atomic<BOOL> m_bCOFreeze{FALSE};  // the control froze events (COFreezeEvents)
    COposEvent m_Events;
    HWND m_hWnd = 0;
    std::string m_strDevClass;
    std::string m_strDevName;
    LONG m_nPortIndex = 0;  // 1-based, shared by the entries that name the same port
    LONG m_lEventMask = 0;
    BOOL m_bOpenFlag = FALSE;  // OpenInit's flag, kept for the service

    // The object lock of the service's dispatch methods.
    plat::CCriticalSection m_csObject;

private:
    LONG Callback(int slot, plat::DispParams& args);

    // The control, not counted: the control holds this object and closes it before it
    // goes, so a counted reference would only make a cycle that keeps both alive when
    // an application drops the control without closing it.
    IDispatch* m_co = nullptr;
    DISPID m_coIds[5] = {plat::DISPID_UNKNOWN, plat::DISPID_UNKNOWN, plat::DISPID_UNKNOWN, plat::DISPID_UNKNOWN,
                         plat::DISPID_UNKNOWN};
    HANDLE m_hThread = nullptr;
    HANDLE m_hWake = nullptr;     // auto-reset: work may be waiting
    HANDLE m_hRunning = nullptr;  // manual-reset: the event thread runs
    std::atomic<BOOL> m_bStopThread{FALSE};
    int m_handOverDepth = 0;  // hand-overs running on the window's thread
};

// Port index of a device entry: its "PortIndex" value when present (1..1000), else the
// number this process gave the entry's "Port" text (ASCII case ignored), else its device
// name. Numbers are given from 1 in order of first use.
LONG AssignPortIndex(const std::string& entryKey);
