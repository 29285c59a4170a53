#include "serial/ComPort.h"

#include "serial/ComThread.h"

#include <stdexcept>
#include <vector>

using namespace platform;

namespace {

void RangeCheck(bool ok) {
    if (!ok) throw std::out_of_range("Range check error");
}

// Releases a request whatever happens in between.
struct TRequestGuard {
    TCustomComPort& port;
    PAsync request;
    ~TRequestGuard() { port.FreeRequest(request); }
};

} // namespace

// ---- Sub-objects ----

void TComTimeouts::Assign(const TComTimeouts& source) {
    FReadInterval = source.FReadInterval;
    FReadTotalM = source.FReadTotalM;
    FReadTotalC = source.FReadTotalC;
    FWriteTotalM = source.FWriteTotalM;
    FWriteTotalC = source.FWriteTotalC;
}

void TComTimeouts::Changed() {
    if (FComPort) FComPort->ApplyTimeouts();
}

#define COM_SETTER(Class, Name, Type, Field)                                                                 \
    void Class::Set##Name(Type value) {                                                                      \
        if (value == Field) return;                                                                          \
        Field = value;                                                                                       \
        Changed();                                                                                           \
    }

COM_SETTER(TComTimeouts, ReadInterval, std::int32_t, FReadInterval)
COM_SETTER(TComTimeouts, ReadTotalMultiplier, std::int32_t, FReadTotalM)
COM_SETTER(TComTimeouts, ReadTotalConstant, std::int32_t, FReadTotalC)
COM_SETTER(TComTimeouts, WriteTotalMultiplier, std::int32_t, FWriteTotalM)
COM_SETTER(TComTimeouts, WriteTotalConstant, std::int32_t, FWriteTotalC)

void TComFlowControl::Assign(const TComFlowControl& source) {
    FOutCTSFlow = source.FOutCTSFlow;
    FOutDSRFlow = source.FOutDSRFlow;
    FControlDTR = source.FControlDTR;
    FControlRTS = source.FControlRTS;
    FXonXoffOut = source.FXonXoffOut;
    FXonXoffIn = source.FXonXoffIn;
    FDSRSensitivity = source.FDSRSensitivity;
    FTxContinueOnXoff = source.FTxContinueOnXoff;
    FXonChar = source.FXonChar;
    FXoffChar = source.FXoffChar;
}

void TComFlowControl::Changed() {
    if (FComPort) FComPort->ApplyLineSettings();
}

TFlowControl TComFlowControl::FlowControl() const {
    if (FControlRTS == rtsHandshake && FOutCTSFlow && !FXonXoffIn && !FXonXoffOut) return fcHardware;
    if (FControlRTS == rtsDisable && !FOutCTSFlow && FXonXoffIn && FXonXoffOut) return fcSoftware;
    if (FControlRTS == rtsDisable && !FOutCTSFlow && !FXonXoffIn && !FXonXoffOut) return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
    if (value != fcCustom) {
        FControlRTS = rtsDisable;
        FOutCTSFlow = false;
        FXonXoffIn = false;
        FXonXoffOut = false;
    }
    switch (value) {
    case fcHardware:
        FControlRTS = rtsHandshake;
        FOutCTSFlow = true;
        break;
    case fcSoftware:
        FXonXoffIn = true;
        FXonXoffOut = true;
        break;
    case fcNone:
    case fcCustom:
        break;
    }
    Changed();
}

COM_SETTER(TComFlowControl, OutCTSFlow, bool, FOutCTSFlow)
COM_SETTER(TComFlowControl, OutDSRFlow, bool, FOutDSRFlow)
COM_SETTER(TComFlowControl, ControlDTR, TDTRFlowControl, FControlDTR)
COM_SETTER(TComFlowControl, ControlRTS, TRTSFlowControl, FControlRTS)
COM_SETTER(TComFlowControl, XonXoffOut, bool, FXonXoffOut)
COM_SETTER(TComFlowControl, XonXoffIn, bool, FXonXoffIn)
COM_SETTER(TComFlowControl, DSRSensitivity, bool, FDSRSensitivity)
COM_SETTER(TComFlowControl, TxContinueOnXoff, bool, FTxContinueOnXoff)
COM_SETTER(TComFlowControl, XonChar, char, FXonChar)
COM_SETTER(TComFlowControl, XoffChar, char, FXoffChar)

void TComParity::Assign(const TComParity& source) {
    FBits = source.FBits;
    FCheck = source.FCheck;
    FReplace = source.FReplace;
    FReplaceChar = source.FReplaceChar;
}

void TComParity::Changed() {
    if (FComPort) FComPort->ApplyLineSettings();
}

COM_SETTER(TComParity, Bits, TParityBits, FBits)
COM_SETTER(TComParity, Check, bool, FCheck)
COM_SETTER(TComParity, Replace, bool, FReplace)
COM_SETTER(TComParity, ReplaceChar, char, FReplaceChar)

#undef COM_SETTER

void TComBuffer::Assign(const TComBuffer& source) {
    FInputSize = source.FInputSize;
    FOutputSize = source.FOutputSize;
}

void TComBuffer::SetInputSize(std::int32_t value) {
    if (value == FInputSize) return;
    // Queue sizes are kept even (1025 becomes 1024). A negative size is left as given: the
    // apply step refuses it.
    FInputSize = value % 2 == 1 ? value - 1 : value;
    if (FComPort) FComPort->ApplyBufferSizes();
}

void TComBuffer::SetOutputSize(std::int32_t value) {
    if (value == FOutputSize) return;
    FOutputSize = value % 2 == 1 ? value - 1 : value;
    if (FComPort) FComPort->ApplyBufferSizes();
}

// ---- Port: construction and properties ----

TCustomComPort::TCustomComPort(std::shared_ptr<ISerialServices> services, std::shared_ptr<TComSync> sync)
    : FServices(services ? std::move(services) : SystemSerialServices()),
      FSync(sync ? std::move(sync) : std::make_shared<TDirectComSync>()) {}

TCustomComPort::~TCustomComPort() {
    // TComPort closes first; this only catches what is still open after a failed Close.
    if (FConnected) {
        try {
            Close();
        } catch (...) {
        }
    }
    if (FConnected) {
        FEventThread.reset();
        FThreadCreated = false;
        if (FWindow) *FWindow = nullptr;
        FWindow.reset();
        CloseDevice();
        FConnected = false;
    }
}

TComPort::TComPort(std::shared_ptr<ISerialServices> services, std::shared_ptr<TComSync> sync)
    : TCustomComPort(std::move(services), std::move(sync)) {
    FSender = this;
}

TComPort::~TComPort() {
    // Closed here, while the handlers still receive a whole TComPort.
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; the base destructor closes what is left.
    }
}

void TCustomComPort::SetConnected(bool value) {
    if (FLoading) {
        FConnected = value;
        return;
    }
    if (value == FConnected) return;
    if (value)
        Open();
    else
        Close();
}

void TCustomComPort::Loaded() {
    FLoading = false;
    if (!FConnected) return;
    FConnected = false;
    try {
        Open();
    } catch (...) {
        if (FSync->OnException) FSync->OnException(std::current_exception());
    }
}

#define PORT_SETTER(Name, Type, Field)                                                                       \
    void TCustomComPort::Set##Name(Type value) {                                                             \
        if (value == Field) return;                                                                          \
        Field = value;                                                                                       \
        ApplyLineSettings();                                                                                 \
    }

PORT_SETTER(BaudRate, TBaudRate, FBaudRate)
PORT_SETTER(CustomBaudRate, std::int32_t, FCustomBaudRate)
PORT_SETTER(StopBits, TStopBits, FStopBits)
PORT_SETTER(DataBits, TDataBits, FDataBits)
PORT_SETTER(DiscardNull, bool, FDiscardNull)
PORT_SETTER(EventChar, char, FEventChar)

#undef PORT_SETTER

void TCustomComPort::SetPort(const std::string& value) {
    if (value == FPort) return;
    FPort = value;
    if (FConnected && !FLoading) {
        Close();
        Open();
    }
}

void TCustomComPort::SetSyncMethod(TSyncMethod value) {
    if (value == FSyncMethod) return;
    if (FConnected && !FLoading) throw EComPort(CError_ConnChangeProp);
    FSyncMethod = value;
}

void TCustomComPort::SetBuffer(const TComBuffer& value) {
    FBuffer.Assign(value);
    ApplyBufferSizes();
}

void TCustomComPort::SetParity(const TComParity& value) {
    FParity.Assign(value);
    ApplyLineSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& value) {
    FTimeouts.Assign(value);
    ApplyTimeouts();
}

void TCustomComPort::SetFlowControl(const TComFlowControl& value) {
    FFlowControl.Assign(value);
    ApplyLineSettings();
}

void TCustomComPort::RaiseWin(int code) const {
    throw EComPort(code, static_cast<std::int32_t>(LastError()));
}

// ---- Opening and closing ----

void TCustomComPort::Open() {
    if (FConnected) return;
    NotifyBeforeOpen();
    OpenDevice();
    FConnected = true;
    try {
        ApplySettings();
    } catch (...) {
        CloseDevice();
        FConnected = false;
        throw;
    }
    if (!FEvents.Empty()) {
        if (FSyncMethod == smWindowSync) FWindow = std::make_shared<TCustomComPort*>(this);
        FEventThread = std::make_unique<TComThread>(this);
        FThreadCreated = true;
    }
    AfterOpenStep();
}

void TCustomComPort::Close() {
    if (!FConnected || FClosing) return;
    FClosing = true;
    struct TClosing {
        bool& flag;
        ~TClosing() { flag = false; }
    } closing{FClosing};
    BeforeCloseStep();
    AbortPendingIo();
    if (FThreadCreated) {
        FEventThread.reset();
        FThreadCreated = false;
        if (FWindow) {
            *FWindow = nullptr;
            FWindow.reset();
        }
    }
    CloseDevice();
    FConnected = false;
    NotifyAfterClose();
}

void TCustomComPort::OpenDevice() {
    FHandle = FServices->CreateFileA("\\\\.\\" + FPort);
    if (FHandle == INVALID_HANDLE_VALUE) RaiseWin(CError_OpenFailed);
}

void TCustomComPort::CloseDevice() {
    if (FHandle != INVALID_HANDLE_VALUE) {
        FServices->CloseHandle(FHandle);
        FHandle = INVALID_HANDLE_VALUE;
    }
}

void TCustomComPort::ApplySettings() {
    if (!CanApply()) return;
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeouts();
}

void TCustomComPort::AfterOpenStep() {
    NotifyAfterOpen();
    // Three readings, one per line, as the lines may change in between.
    NotifyCTSChange(ModemLines().Contains(csCTS));
    NotifyDSRChange(ModemLines().Contains(csDSR));
    NotifyRLSDChange(ModemLines().Contains(csRLSD));
}

void TCustomComPort::BeforeCloseStep() {
    NotifyCTSChange(false);
    NotifyDSRChange(false);
    NotifyRLSDChange(false);
    NotifyBeforeClose();
}

// ---- Apply steps ----

void TCustomComPort::ApplyBufferSizes() {
    if (!CanApply()) return;
    RangeCheck(FBuffer.InputSize() >= 0 && FBuffer.OutputSize() >= 0);
    if (!FServices->SetupComm(FHandle, static_cast<DWORD>(FBuffer.InputSize()),
                              static_cast<DWORD>(FBuffer.OutputSize())))
        RaiseWin(CError_SetupComFailed);
}

DCB TCustomComPort::BuildDCB() const {
    // The custom rate reaches the record only when it is the chosen rate.
    if (FBaudRate == brCustom) RangeCheck(FCustomBaudRate >= 0);
    RangeCheck(FBuffer.InputSize() >= 0 && FBuffer.InputSize() / 4 <= 65535);
    DCB dcb;
    dcb.DCBlength = 28;
    dcb.BaudRate = static_cast<DWORD>(BaudRateToInt(FBaudRate, FCustomBaudRate));
    dcb.fBinary = 1;
    dcb.fParity = FParity.Check() ? 1 : 0;
    dcb.fOutxCtsFlow = FFlowControl.OutCTSFlow() ? 1 : 0;
    dcb.fOutxDsrFlow = FFlowControl.OutDSRFlow() ? 1 : 0;
    dcb.fDtrControl = static_cast<DWORD>(FFlowControl.ControlDTR());
    dcb.fRtsControl = static_cast<DWORD>(FFlowControl.ControlRTS());
    dcb.fDsrSensitivity = FFlowControl.DSRSensitivity() ? 1 : 0;
    dcb.fTXContinueOnXoff = FFlowControl.TxContinueOnXoff() ? 1 : 0;
    dcb.fOutX = FFlowControl.XonXoffOut() ? 1 : 0;
    dcb.fInX = FFlowControl.XonXoffIn() ? 1 : 0;
    dcb.fErrorChar = (FParity.Check() && FParity.Replace()) ? 1 : 0;
    dcb.fNull = FDiscardNull ? 1 : 0;
    dcb.fAbortOnError = 0;
    dcb.XonLim = static_cast<WORD>(FBuffer.InputSize() / 4);
    dcb.XoffLim = static_cast<WORD>(FBuffer.InputSize() / 4);
    dcb.ByteSize = static_cast<BYTE>(5 + static_cast<int>(FDataBits));
    dcb.Parity = static_cast<BYTE>(FParity.Bits());
    dcb.StopBits = static_cast<BYTE>(FStopBits);
    dcb.XonChar = FFlowControl.XonChar();
    dcb.XoffChar = FFlowControl.XoffChar();
    dcb.ErrorChar = dcb.fErrorChar ? FParity.ReplaceChar() : 0;
    dcb.EvtChar = FEventChar;
    dcb.EofChar = 0;
    return dcb;
}

void TCustomComPort::ApplyLineSettings() {
    if (!CanApply()) return;
    const DCB dcb = BuildDCB();
    if (!FServices->SetCommState(FHandle, dcb)) RaiseWin(CError_SetStateFailed);
}

COMMTIMEOUTS TCustomComPort::BuildTimeouts() const {
    const auto value = [](std::int32_t ms) {
        RangeCheck(ms >= -1);
        return ms == -1 ? MAXDWORD : static_cast<DWORD>(ms);
    };
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = value(FTimeouts.ReadInterval());
    t.ReadTotalTimeoutMultiplier = value(FTimeouts.ReadTotalMultiplier());
    t.ReadTotalTimeoutConstant = value(FTimeouts.ReadTotalConstant());
    t.WriteTotalTimeoutMultiplier = value(FTimeouts.WriteTotalMultiplier());
    t.WriteTotalTimeoutConstant = value(FTimeouts.WriteTotalConstant());
    return t;
}

void TCustomComPort::ApplyTimeouts() {
    if (!CanApply()) return;
    const COMMTIMEOUTS t = BuildTimeouts();
    if (!FServices->SetCommTimeouts(FHandle, t)) RaiseWin(CError_TimeoutsFailed);
}

// ---- Notifications ----

void TCustomComPort::NotifyAfterOpen() {
    if (OnAfterOpen) OnAfterOpen(FSender);
}
void TCustomComPort::NotifyAfterClose() {
    if (OnAfterClose) OnAfterClose(FSender);
}
void TCustomComPort::NotifyBeforeOpen() {
    if (OnBeforeOpen) OnBeforeOpen(FSender);
}
void TCustomComPort::NotifyBeforeClose() {
    if (OnBeforeClose) OnBeforeClose(FSender);
}
void TCustomComPort::NotifyRxChar(int count) {
    if (OnRxChar) OnRxChar(FSender, count);
}
void TCustomComPort::NotifyRxBuf(const char* buffer, int count) {
    if (OnRxBuf) OnRxBuf(FSender, buffer, count);
}
void TCustomComPort::NotifyTxEmpty() {
    if (OnTxEmpty) OnTxEmpty(FSender);
}
void TCustomComPort::NotifyBreak() {
    if (OnBreak) OnBreak(FSender);
}
void TCustomComPort::NotifyRing() {
    if (OnRing) OnRing(FSender);
}
void TCustomComPort::NotifyCTSChange(bool onOff) {
    if (OnCTSChange) OnCTSChange(FSender, onOff);
}
void TCustomComPort::NotifyDSRChange(bool onOff) {
    if (OnDSRChange) OnDSRChange(FSender, onOff);
}
void TCustomComPort::NotifyRLSDChange(bool onOff) {
    if (OnRLSDChange) OnRLSDChange(FSender, onOff);
}
void TCustomComPort::NotifyRxFlag() {
    if (OnRxFlag) OnRxFlag(FSender);
}
void TCustomComPort::NotifyError(TComErrors errors) {
    if (OnError) OnError(FSender, errors);
}
void TCustomComPort::NotifyRx80Full() {
    if (OnRx80Full) OnRx80Full(FSender);
}

void TCustomComPort::HandleEvent(TComEvent event) {
    switch (event) {
    case evError: {
        const TComErrors errors = LineErrors();
        if (!errors.Empty()) NotifyError(errors);
        break;
    }
    case evRxChar: {
        int count = RxQueueCount();
        if (count > 0 && !FAnnounceRxChar) {
            std::vector<char> buffer(static_cast<std::size_t>(count));
            const int got = ReadBuf(buffer.data(), count);
            NotifyRxBuf(buffer.data(), got);
            count = 0;
        }
        if (count > 0) NotifyRxChar(count);
        break;
    }
    case evTxEmpty:
        NotifyTxEmpty();
        break;
    case evBreak:
        NotifyBreak();
        break;
    case evRing:
        NotifyRing();
        break;
    case evCTS:
        NotifyCTSChange(ModemLines().Contains(csCTS));
        break;
    case evDSR:
        NotifyDSRChange(ModemLines().Contains(csDSR));
        break;
    case evRxFlag:
        NotifyRxFlag();
        break;
    case evRLSD:
        NotifyRLSDChange(ModemLines().Contains(csRLSD));
        break;
    case evRx80Full:
        NotifyRx80Full();
        break;
    }
}

namespace {
// The fixed order in which a group of events is handled (and posted), the error step first.
constexpr TComEvent kHandlingOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                        evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};
} // namespace

void TCustomComPort::RunHandlers(TComEvents events) {
    for (TComEvent event : kHandlingOrder) {
        // A handler that closed its own port ends the group: the rest would find no device.
        if (!FConnected) return;
        if (events.Contains(event)) HandleEvent(event);
    }
}

void TCustomComPort::PostEvents(TComEvents events, const std::shared_ptr<TCustomComPort*>& window) {
    for (TComEvent event : kHandlingOrder) {
        if (!events.Contains(event)) continue;
        // Runs on the user-interface thread, only while the opening it was posted for lasts.
        FSync->Post([window, event] {
            TCustomComPort* port = *window;
            if (port && port->FConnected) port->HandleEvent(event);
        });
    }
}

// ---- Data transfer ----

PAsync TCustomComPort::CreateRequest() {
    auto request = std::make_unique<TAsync>();
    request->Overlapped.hEvent = FServices->CreateEventA(true, true);
    return request.release();
}

void TCustomComPort::FreeRequest(PAsync& request) {
    if (!request) return;
    FServices->CloseHandle(request->Overlapped.hEvent);
    delete request;
    request = nullptr;
}

int TCustomComPort::StartWrite(const void* buffer, int count, PAsync request) {
    if (!request) throw EComPort(CError_InvalidAsync);
    request->Kind = okWrite;
    DWORD done = 0;
    if (FServices->WriteFile(FHandle, buffer, static_cast<DWORD>(count < 0 ? 0 : count), done,
                             request->Overlapped) ||
        FServices->GetLastError() == ERROR_IO_PENDING)
        return static_cast<int>(done);
    RaiseWin(CError_WriteFailed);
}

int TCustomComPort::StartWriteStr(const std::string& str, PAsync request) {
    if (str.empty()) return 0;
    return StartWrite(str.data(), static_cast<int>(str.size()), request);
}

int TCustomComPort::StartRead(void* buffer, int count, PAsync request) {
    if (!request) throw EComPort(CError_InvalidAsync);
    request->Kind = okRead;
    DWORD done = 0;
    if (FServices->ReadFile(FHandle, buffer, static_cast<DWORD>(count < 0 ? 0 : count), done,
                            request->Overlapped) ||
        FServices->GetLastError() == ERROR_IO_PENDING)
        return static_cast<int>(done);
    RaiseWin(CError_ReadFailed);
}

int TCustomComPort::StartReadStr(std::string& str, int count, PAsync request) {
    if (count <= 0) {
        str.clear();
        return 0;
    }
    str.resize(static_cast<std::size_t>(count));
    return StartRead(str.data(), count, request);
}

int TCustomComPort::WaitForRequest(PAsync request) {
    if (!request) throw EComPort(CError_InvalidAsync);
    const int failCode = request->Kind == okWrite ? CError_WriteFailed : CError_ReadFailed;
    DWORD done = 0;
    if (FServices->WaitForSingleObject(request->Overlapped.hEvent, INFINITE) != WAIT_OBJECT_0 ||
        !FServices->GetOverlappedResult(FHandle, request->Overlapped, done, false))
        RaiseWin(failCode);
    if (request->Kind == okRead) RxQueueCount();
    return static_cast<int>(done);
}

int TCustomComPort::Write(const void* buffer, int count) {
    TRequestGuard guard{*this, CreateRequest()};
    StartWrite(buffer, count, guard.request);
    return WaitForRequest(guard.request);
}

int TCustomComPort::WriteStr(const std::string& str) {
    TRequestGuard guard{*this, CreateRequest()};
    // An empty text starts nothing; the fresh request's event is signalled and reports 0 bytes.
    StartWriteStr(str, guard.request);
    return WaitForRequest(guard.request);
}

int TCustomComPort::ReadStr(std::string& str, int count) {
    TRequestGuard guard{*this, CreateRequest()};
    if (StartReadStr(str, count, guard.request) == 0 && count <= 0) return 0;
    const int n = WaitForRequest(guard.request);
    str.resize(static_cast<std::size_t>(n));
    return n;
}

int TCustomComPort::ReadBuf(void* buffer, int count) {
    TRequestGuard guard{*this, CreateRequest()};
    StartRead(buffer, count, guard.request);
    return WaitForRequest(guard.request);
}

int TCustomComPort::RxQueueCount() {
    DWORD errors = 0;
    COMSTAT stat;
    if (!FServices->ClearCommError(FHandle, errors, &stat)) RaiseWin(CError_ClearComFailed);
    return static_cast<int>(stat.cbInQue);
}

TComErrors TCustomComPort::LineErrors() {
    DWORD errors = 0;
    COMSTAT stat;
    if (!FServices->ClearCommError(FHandle, errors, &stat)) RaiseWin(CError_ClearComFailed);
    TComErrors result;
    if (errors & CE_FRAME) result.Include(ceFrame);
    if ((errors & CE_RXPARITY) && FParity.Check()) result.Include(ceRxParity);
    if (errors & CE_OVERRUN) result.Include(ceOverrun);
    if (errors & CE_BREAK) result.Include(ceBreak);
    if (errors & CE_IOE) result.Include(ceIO);
    if (errors & CE_MODE) result.Include(ceMode);
    if (errors & CE_RXOVER) result.Include(ceRxOver);
    if (errors & CE_TXFULL) result.Include(ceTxFull);
    return result;
}

TComSignals TCustomComPort::ModemLines() {
    DWORD status = 0;
    if (!FServices->GetCommModemStatus(FHandle, status)) RaiseWin(CError_ModemStatFailed);
    TComSignals result;
    if (status & MS_CTS_ON) result.Include(csCTS);
    if (status & MS_DSR_ON) result.Include(csDSR);
    if (status & MS_RING_ON) result.Include(csRing);
    if (status & MS_RLSD_ON) result.Include(csRLSD);
    return result;
}

void TCustomComPort::AbortPendingIo() {
    if (!FServices->PurgeComm(FHandle, PURGE_TXABORT | PURGE_RXABORT)) RaiseWin(CError_PurgeFailed);
}

void TCustomComPort::SetDTR(bool on) {
    if (!FServices->EscapeCommFunction(FHandle, on ? SETDTR : CLRDTR)) RaiseWin(CError_EscapeComFailed);
}

void TCustomComPort::SetRTS(bool on) {
    if (!FServices->EscapeCommFunction(FHandle, on ? SETRTS : CLRRTS)) RaiseWin(CError_EscapeComFailed);
}
