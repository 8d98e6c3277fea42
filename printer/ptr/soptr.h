// The POS printer service object: its dispatch surface and its life from OpenService to
// Close (Claim with the printer's set-up, enabling with the sensor report, Release with
// the final reset, the event hand-over and the power reports).
//
// Threads: every dispatch method and every event delivery runs on the control's thread,
// under the object lock. The port driver's threads call DataUpdate, OutputDataComplete,
// PortError and PowerReport; they never take the object lock: they set flags and events,
// queue events, and post 0x510/0x511 for work that needs the lock.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "include/opos_ptr.h"
#include "posframe/svcbase.h"
#include "printer/ptr/model.h"
#include "printer/ptr/output_queue.h"

class CPortDriver;
class SharedPort;
class ResponseSplitter;
class SlipSensorState;

namespace printer {
class CPrinterApp;
}

// Window messages of the power recovery.
constexpr UINT WM_PTR_POWER_ONLINE = 0x510;
constexpr UINT WM_PTR_POWER_OFF = 0x511;

class CSoptrCtrl : public CSvcBase {
  public:
    explicit CSoptrCtrl(printer::CPrinterApp& app);
    ~CSoptrCtrl() override;

    static void Describe(plat::DispatchMap<CSoptrCtrl>& m);

    // --- Dispatch surface, in dispatch order ---
    LONG CheckHealth(LONG level);
    LONG ClearOutput();
    LONG Close();
    LONG DirectIO(LONG command, LONG* data, std::string* text);
    LONG Claim(LONG timeout);
    LONG ReleaseDevice();  // "Release" (the name Release is the reference count's)
    LONG CutPaper(LONG percentage);
    LONG PrintBarCode(LONG station, const std::string& data, LONG symbology, LONG height,
                      LONG width, LONG alignment, LONG textPosition);
    LONG RotatePrint(LONG station, LONG rotation);
    LONG SetLogo(LONG location, const std::string& data);
    LONG GetPropertyNumber(LONG pidx);
    std::string GetPropertyString(LONG pidx);
    void SetPropertyNumber(LONG pidx, LONG number);
    void SetPropertyString(LONG pidx, const std::string& text);
    LONG COFreezeEvents(LONG freeze);
    LONG OpenService(const std::string& deviceClass, const std::string& deviceName, IDispatch* co);
    LONG BeginInsertion(LONG timeout);
    LONG BeginRemoval(LONG timeout);
    LONG EndInsertion();
    LONG EndRemoval();
    LONG PrintBitmap(LONG station, const std::string& fileName, LONG width, LONG alignment);
    LONG PrintImmediate(LONG station, const std::string& data);
    LONG PrintNormal(LONG station, const std::string& data);
    LONG PrintTwoNormal(LONG stations, const std::string& data1, const std::string& data2);
    LONG SetBitmap(LONG number, LONG station, const std::string& fileName, LONG width,
                   LONG alignment);
    LONG TransactionPrint(LONG station, LONG control);
    LONG ValidateData(LONG station, const std::string& data);

    // --- Base overrides ---
    void QueueEvent(const OposEvent& event) override;
    void DataUpdate(const BYTE* data, LONG length) override;
    void OutputDataComplete(LONG completionTag) override;
    void PortError(LONG errorTag) override;
    void PowerReport(LONG state) override;
    using CSvcBase::PowerReport;

    // Fixed waits of the lifecycle (milliseconds), kept in one place.
    static constexpr DWORD kClaimPollMs = 10;
    static constexpr DWORD kPortCloseBoundMs = 5000;  // the port close loop gives up after this
    static constexpr DWORD kFirstStatusWaitMs = 1000;
    static constexpr DWORD kModeCheckWaitMs = 5000;
    static constexpr DWORD kOutputThreadWaitMs = 1000;
    static constexpr DWORD kReleaseSettleMs = 300;
    static constexpr DWORD kResetSettleMs = 200;
    static constexpr DWORD kCloseSettleMs = 300;
    static constexpr DWORD kClaimSettleMs = 50;
    static constexpr DWORD kPowerOnlineSettleMs = 300;
    static constexpr DWORD kErrorWaitRounds = 4;
    static constexpr DWORD kErrorWaitRoundMs = 500;

    // Object version reported as ServiceObjectVersion.
    static constexpr LONG kServiceObjectVersion = 1008001;

  protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    LONG OnEventHandOver(WPARAM wParam, LPARAM lParam) override;

    KAVRO_DISPATCH_TABLE(CSoptrCtrl)

    // --- Result of a set-up step or a job: ResultCode and ResultCodeExtended ---
    struct Outcome {
        LONG rc = 0;
        LONG rcx = 0;
        bool ok() const { return rc == 0; }
    };

    // OpenService pieces (soptr_open.cpp).
    void LoadModel();
    void SetCommandStrings();
    void ResetObjectState();
    void UndoOpenInit();

    // Claim pieces (soptr_claim.cpp).
    LONG ClaimLoop(LONG timeout);
    Outcome SetUpPrinter();
    Outcome RunConfigurationStep();
    bool CheckSynchronousOutput();
    Outcome SendInitialisation(bool recovering);
    Outcome RunStateChecks();
    Outcome RunModeCheck();
    Outcome RunModelChecks();
    LONG ClosePort();
    bool ReleaseDeviceNow();
    bool SlipRecoveryDue() const;
    void SendFinalReset();
    Outcome SetUpAgain();

    // Jobs (soptr_send.cpp): an internal synchronous job (kind 1 or 17), waited for with
    // message dispatch.
    Outcome SendInternal(const std::string& bytes, int kind, int completionFlags);
    void StartOutputThread();
    void StopOutputThread();
    void WakeOutputThread();
    DWORD OutputThreadProc();

    // Properties (soptr_props.cpp).
    void SetEnabled(BOOL enable);
    void ReportSensorStates();
    Outcome SetStationProperty(LONG pidx, LONG number);
    bool ClaimedElsewhere() const;
    void SetState(LONG state);
    void QueueStatus(LONG status) {
        OposEvent ev;
        ev.type = EVT_STATUSUPDATE;
        ev.p1 = status;
        QueueEvent(ev);
    }
    LONG Number(LONG pidx) const { return numbers_[pidx - PIDXPtr_FirstNumber]; }
    void SetNumber(LONG pidx, LONG v) { numbers_[pidx - PIDXPtr_FirstNumber] = v; }
    LONG Cap(LONG pidx) const { return caps_[pidx - PIDXPtr_FirstCap]; }
    // The common state check of the output methods: 101, 102/103, 105.
    LONG CommonCheck(bool allowDisabled = false);
    // Answer of a method whose feature belongs to a later part: common check, then 106 /
    // 10006 (not supported).
    LONG NotSupported();

    // Events (soptr_events.cpp).
    void SetErrorProperties(LONG rc, LONG rcx, LONG station);
    static std::string ErrorText(LONG rc, LONG rcx);

    // Input (soptr_input.cpp).
    void HandleStatusRecord(const BYTE* rec);
    void HandleSingleByte(BYTE b);
    void HandlePowerString(const std::string& frame);

  private:
    printer::CPrinterApp& app_;
    printer::PtrModel model_;

    std::array<std::atomic<LONG>, PIDXPtr_LastNumber - PIDXPtr_FirstNumber + 1> numbers_{};
    std::array<std::atomic<LONG>, PIDXPtr_LastCap - PIDXPtr_FirstCap + 1> caps_{};
    std::array<std::string, PIDXPtr_LastString - PIDXPtr_FirstString + 1> strings_;

    SharedPort* shared_ = nullptr;
    CPortDriver* port_ = nullptr;
    std::unique_ptr<ResponseSplitter> splitter_;
    std::unique_ptr<SlipSensorState> slip_;
    printer::COutputQueue queue_;

    // Command strings.
    std::string selectPrinter_;
    std::string stationSelect_[printer::kStationCount][2];  // [station][0 print, 1 settings]
    LONG lineSpacingDots_[printer::kStationCount] = {};

    // Entry values.
    std::string portText_;  // "Port"
    DWORD settings_ = 0;
    DWORD outputBuf_ = 1024;
    BOOL legacyInsertion_ = FALSE;  // the earlier slip insertion procedure
    DWORD lineSpeed_ = 9600;
    bool syncType3InUse_ = false;

    // Flags shared with the driver's threads.
    std::atomic<bool> powerRecovery_{false};
    std::atomic<bool> printerInitialised_{false};
    std::atomic<bool> outputComplete_{false};
    std::atomic<bool> portError_{false};
    LONG nextTag_ = 0;                          // internal jobs count down from -1
    std::atomic<LONG> jobTag_{0};               // completion and error tag of the job on the wire
    HANDLE jobDone_ = nullptr;                  // manual reset: the job completed or failed
    std::atomic<bool> portOpen_{false};         // between PortOpen and the close loop's end
    std::atomic<bool> firstRecordSeen_{false};  // a status record arrived since the port opened
    std::atomic<bool> idleReported_{false};
    std::atomic<LONG> outputId_{0};
    std::atomic<bool> modeCheckPending_{false};
    std::atomic<LONG> modeAnswer_{-1};
    HANDLE firstStatus_ = nullptr;   // manual reset: a status record arrived since the request
    HANDLE secondStatus_ = nullptr;  // manual reset: a second-stream record arrived
    HANDLE modeAnswered_ = nullptr;
    bool slipRecoveryDue_ = false;  // set by the slip operations
    // Serialises the status events of the input path with the enable-time report, so the
    // report comes first.
    std::mutex statusLock_;

    // Output thread.
    HANDLE outputThread_ = nullptr;
    HANDLE outputStop_ = nullptr;
    HANDLE outputWake_ = nullptr;
    HANDLE errorPending_ = nullptr;  // set while an ErrorEvent waits for its answer
    std::atomic<LONG> pendingErrorStation_{0};
    LONG pendingErrorExtended_ = 0;
};
