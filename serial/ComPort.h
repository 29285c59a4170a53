#pragma once
// The serial port component: a port object that owns one device handle, keeps every line
// setting as a property, applies the settings when it opens and reports line events through
// handler slots, delivered on the user-interface thread by a hand-over (ComSync.h).
//
// Every failure raises EComPort (ComPortError.h). All operations run on the calling thread,
// which in the program is the user-interface thread; only the event thread of an open port
// runs elsewhere, and it touches nothing but the handle, the hand-over and (smNone) the
// handler slots.
#include "platform/SerialServices.h"
#include "serial/ComPortError.h"
#include "serial/ComStore.h"
#include "serial/ComSync.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

// ---- Enumerations (the position is the numeric value) ----

enum TBaudRate {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent { evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };
enum TComError { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
// Modem input lines as ModemLines reports them.
enum TComSignal { csCTS, csDSR, csRing, csRLSD };
// The groups of settings that the save and load operations cover.
enum TStoredProp { spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers };
enum TOperationKind { okWrite, okRead };

// A set of enumeration values, one bit per value (bit n for the value n).
template <typename E, typename Bits> class TEnumSet {
public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<E> values) {
        for (E v : values)
            Include(v);
    }
    static constexpr TEnumSet FromBits(Bits bits) {
        TEnumSet s;
        s.FBits = bits;
        return s;
    }
    constexpr Bits ToBits() const { return FBits; }
    constexpr bool Contains(E v) const { return (FBits >> static_cast<unsigned>(v)) & 1u; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr void Include(E v) { FBits = static_cast<Bits>(FBits | (1u << static_cast<unsigned>(v))); }
    constexpr void Exclude(E v) { FBits = static_cast<Bits>(FBits & ~(1u << static_cast<unsigned>(v))); }
    friend constexpr bool operator==(TEnumSet, TEnumSet) = default;

private:
    Bits FBits = 0;
};

// 16-bit set, evRxChar = bit 0 ... evRx80Full = bit 9.
using TComEvents = TEnumSet<TComEvent, std::uint16_t>;
using TComErrors = TEnumSet<TComError, std::uint8_t>;
using TComSignals = TEnumSet<TComSignal, std::uint8_t>;
using TStoredProps = TEnumSet<TStoredProp, std::uint8_t>;

// All ten line events (the default of Events).
inline constexpr TComEvents AllComEvents() {
    return TComEvents::FromBits(0x03FF);
}

// The Win32 event mask of a set and back; other mask bits are neither requested nor reported.
platform::DWORD EventsToMask(TComEvents events);
TComEvents MaskToEvents(platform::DWORD mask);
// The notification code of an event in smWindowSync mode (evRxChar 1 ... evRx80Full 1024) and back.
int EventToCode(TComEvent event);
// Throws std::invalid_argument for a code that is no event's.
TComEvent CodeToEvent(int code);
// The notification message number of smWindowSync mode (the first user message plus one).
inline constexpr unsigned CM_PORTEVENT = 1025;

// ---- Conversions between the settings and their texts ----
// To text: the table text. From text: compared with every table text, both in upper case, in
// enumeration order; no match gives the family's default. Texts are not trimmed. Never throw.
std::string BaudRateToStr(TBaudRate value);
TBaudRate StrToBaudRate(const std::string& text); // default br9600
std::string StopBitsToStr(TStopBits value);
TStopBits StrToStopBits(const std::string& text); // default sbOneStopBit
std::string DataBitsToStr(TDataBits value);
TDataBits StrToDataBits(const std::string& text); // default dbEight
std::string ParityToStr(TParityBits value);
TParityBits StrToParity(const std::string& text); // default prNone
std::string FlowControlToStr(TFlowControl value);
TFlowControl StrToFlowControl(const std::string& text); // default fcCustom
std::string DTRToStr(TDTRFlowControl value);
TDTRFlowControl StrToDTR(const std::string& text); // default dtrDisable
std::string RTSToStr(TRTSFlowControl value);
TRTSFlowControl StrToRTS(const std::string& text); // default rtsDisable
// "Yes"/"No"; true exactly when the text in upper case is "YES".
std::string BoolToStr(bool value);
bool StrToBool(const std::string& text);
// Codes 33 to 127 as the character itself, any other as "#" and its decimal code ("#17", "#0").
std::string CharToStr(char c);
// "" gives 0; "#" followed by a whole number gives that number modulo 256 (not a number: 0);
// any other text its first character.
char StrToChar(const std::string& text);
// The bits per second a rate stands for (brCustom: `custom`).
std::int32_t BaudRateToInt(TBaudRate rate, std::int32_t custom);

class TCustomComPort;
class TComPort;

// ---- Settings sub-objects ----
// Each keeps a pointer to its owning port (none for a free-standing copy). A setter given an
// unchanged value does nothing; otherwise it stores the value and calls the owner's apply step,
// which does nothing unless the port is open and may throw EComPort when the device refuses.
// A copy made with the copy constructor is free-standing; Assign copies the values only.

class TComTimeouts {
public:
    TComTimeouts() = default;
    explicit TComTimeouts(TCustomComPort* owner) : FComPort(owner) {}
    TComTimeouts(const TComTimeouts& other) { Assign(other); }
    TComTimeouts& operator=(const TComTimeouts& other) = delete;
    void Assign(const TComTimeouts& source);

    std::int32_t ReadInterval() const { return FReadInterval; }
    std::int32_t ReadTotalMultiplier() const { return FReadTotalM; }
    std::int32_t ReadTotalConstant() const { return FReadTotalC; }
    std::int32_t WriteTotalMultiplier() const { return FWriteTotalM; }
    std::int32_t WriteTotalConstant() const { return FWriteTotalC; }
    void SetReadInterval(std::int32_t value);
    void SetReadTotalMultiplier(std::int32_t value);
    void SetReadTotalConstant(std::int32_t value);
    void SetWriteTotalMultiplier(std::int32_t value);
    void SetWriteTotalConstant(std::int32_t value);
    TCustomComPort* ComPort() const { return FComPort; }

private:
    void Changed();
    TCustomComPort* FComPort = nullptr;
    std::int32_t FReadInterval = -1;
    std::int32_t FReadTotalM = 0;
    std::int32_t FReadTotalC = 0;
    std::int32_t FWriteTotalM = 100;
    std::int32_t FWriteTotalC = 1000;
};

class TComFlowControl {
public:
    TComFlowControl() = default;
    explicit TComFlowControl(TCustomComPort* owner) : FComPort(owner) {}
    TComFlowControl(const TComFlowControl& other) { Assign(other); }
    TComFlowControl& operator=(const TComFlowControl& other) = delete;
    void Assign(const TComFlowControl& source);

    // Derived from ControlRTS, OutCTSFlow and the Xon/Xoff flags; never stored.
    TFlowControl FlowControl() const;
    // Any value but fcCustom clears ControlRTS, OutCTSFlow and both Xon/Xoff flags first, then
    // sets what the value names; re-applies the line settings even when nothing changed.
    void SetFlowControl(TFlowControl value);

    bool OutCTSFlow() const { return FOutCTSFlow; }
    bool OutDSRFlow() const { return FOutDSRFlow; }
    TDTRFlowControl ControlDTR() const { return FControlDTR; }
    TRTSFlowControl ControlRTS() const { return FControlRTS; }
    bool XonXoffOut() const { return FXonXoffOut; }
    bool XonXoffIn() const { return FXonXoffIn; }
    bool DSRSensitivity() const { return FDSRSensitivity; }
    bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
    char XonChar() const { return FXonChar; }
    char XoffChar() const { return FXoffChar; }
    void SetOutCTSFlow(bool value);
    void SetOutDSRFlow(bool value);
    void SetControlDTR(TDTRFlowControl value);
    void SetControlRTS(TRTSFlowControl value);
    void SetXonXoffOut(bool value);
    void SetXonXoffIn(bool value);
    void SetDSRSensitivity(bool value);
    void SetTxContinueOnXoff(bool value);
    void SetXonChar(char value);
    void SetXoffChar(char value);
    TCustomComPort* ComPort() const { return FComPort; }

private:
    void Changed();
    TCustomComPort* FComPort = nullptr;
    bool FOutCTSFlow = false;
    bool FOutDSRFlow = false;
    TDTRFlowControl FControlDTR = dtrDisable;
    TRTSFlowControl FControlRTS = rtsDisable;
    bool FXonXoffOut = false;
    bool FXonXoffIn = false;
    bool FDSRSensitivity = false;
    bool FTxContinueOnXoff = false;
    char FXonChar = 17;
    char FXoffChar = 19;
};

class TComParity {
public:
    TComParity() = default;
    explicit TComParity(TCustomComPort* owner) : FComPort(owner) {}
    TComParity(const TComParity& other) { Assign(other); }
    TComParity& operator=(const TComParity& other) = delete;
    void Assign(const TComParity& source);

    TParityBits Bits() const { return FBits; }
    bool Check() const { return FCheck; }
    bool Replace() const { return FReplace; }
    char ReplaceChar() const { return FReplaceChar; }
    void SetBits(TParityBits value);
    void SetCheck(bool value);
    void SetReplace(bool value);
    void SetReplaceChar(char value);
    TCustomComPort* ComPort() const { return FComPort; }

private:
    void Changed();
    TCustomComPort* FComPort = nullptr;
    TParityBits FBits = prNone;
    bool FCheck = false;
    bool FReplace = false;
    char FReplaceChar = 0;
};

class TComBuffer {
public:
    TComBuffer() = default;
    explicit TComBuffer(TCustomComPort* owner) : FComPort(owner) {}
    TComBuffer(const TComBuffer& other) { Assign(other); }
    TComBuffer& operator=(const TComBuffer& other) = delete;
    void Assign(const TComBuffer& source);

    std::int32_t InputSize() const { return FInputSize; }
    std::int32_t OutputSize() const { return FOutputSize; }
    // An odd value is stored one lower (1025 becomes 1024); then the queue sizes are applied.
    void SetInputSize(std::int32_t value);
    void SetOutputSize(std::int32_t value);
    TCustomComPort* ComPort() const { return FComPort; }

private:
    TCustomComPort* FComPort = nullptr;
    std::int32_t FInputSize = 1024;
    std::int32_t FOutputSize = 1024;
};

// ---- Handler slots (Sender is always the port) ----
using TNotifyEvent = std::function<void(TComPort* Sender)>;
using TRxCharEvent = std::function<void(TComPort* Sender, int Count)>;
using TRxBufEvent = std::function<void(TComPort* Sender, const char* Buffer, int Count)>;
using TComSignalEvent = std::function<void(TComPort* Sender, bool OnOff)>;
using TComErrorEvent = std::function<void(TComPort* Sender, TComErrors Errors)>;

// One overlapped read or write in flight.
struct TAsync {
    platform::OVERLAPPED Overlapped;
    TOperationKind Kind = okWrite;
};
using PAsync = TAsync*;

class TComThread;

class TCustomComPort {
public:
    virtual ~TCustomComPort();
    TCustomComPort(const TCustomComPort&) = delete;
    TCustomComPort& operator=(const TCustomComPort&) = delete;

    // Opens the device named by Port, applies the queue sizes, line settings and timeouts, starts
    // the event thread (when Events is not empty) and runs OnAfterOpen and the three line-state
    // notifications. Does nothing when already open. Throws EComPort 1 when the device cannot be
    // opened (the port stays closed, OnBeforeOpen has run), 9/7/8 when a setting is refused (the
    // handle is closed again), 11 when the modem lines cannot be read at the end (the port is
    // then open), std::out_of_range for a setting the device record cannot carry, and whatever a
    // handler throws.
    void Open();
    // Runs the before-close notifications, cancels pending transfers, stops the event thread
    // (serving a hand-over it is blocked in), closes the device and runs OnAfterClose. Does
    // nothing when closed, nor when called from a handler that a Close in progress runs (that
    // Close finishes the job, notifying once). Throws EComPort 5 when the pending transfers
    // cannot be cancelled (the port stays open) and whatever a handler throws.
    void Close();

    // True from the moment the handle is open until Close has closed it. Writing runs Open or
    // Close (while loading, only the flag is stored).
    bool Connected() const { return FConnected; }
    void SetConnected(bool value);

    // Line settings: stored; re-applied at once while open (may throw EComPort 7).
    TBaudRate BaudRate() const { return FBaudRate; }
    void SetBaudRate(TBaudRate value);
    std::int32_t CustomBaudRate() const { return FCustomBaudRate; }
    void SetCustomBaudRate(std::int32_t value);
    TStopBits StopBits() const { return FStopBits; }
    void SetStopBits(TStopBits value);
    TDataBits DataBits() const { return FDataBits; }
    void SetDataBits(TDataBits value);
    bool DiscardNull() const { return FDiscardNull; }
    void SetDiscardNull(bool value);
    char EventChar() const { return FEventChar; }
    void SetEventChar(char value);

    // The device name ("COM3"). A new name while open closes the port and opens the new device.
    const std::string& Port() const { return FPort; }
    void SetPort(const std::string& value);

    // The line events the event thread waits for; takes effect at the next Open.
    TComEvents Events() const { return FEvents; }
    void SetEvents(TComEvents value) { FEvents = value; }

    // How notifications reach the user-interface thread. Throws EComPort 14 while open.
    TSyncMethod SyncMethod() const { return FSyncMethod; }
    void SetSyncMethod(TSyncMethod value);

    // True: received characters are announced with OnRxChar and left for its handler to read.
    // False: the event step reads them and hands them to OnRxBuf.
    bool AnnounceRxChar() const { return FAnnounceRxChar; }
    void SetAnnounceRxChar(bool value) { FAnnounceRxChar = value; }

    TStoredProps SavedGroups() const { return FSavedGroups; }
    void SetSavedGroups(TStoredProps value) { FSavedGroups = value; }

    // The component's name: the INI section its settings are saved under.
    const std::string& Name() const { return FName; }
    void SetName(const std::string& value) { FName = value; }

    // The owned sub-objects; the whole-object setters copy the values in and apply them.
    TComBuffer& Buffer() { return FBuffer; }
    const TComBuffer& Buffer() const { return FBuffer; }
    void SetBuffer(const TComBuffer& value);
    TComParity& Parity() { return FParity; }
    const TComParity& Parity() const { return FParity; }
    void SetParity(const TComParity& value);
    TComTimeouts& Timeouts() { return FTimeouts; }
    const TComTimeouts& Timeouts() const { return FTimeouts; }
    void SetTimeouts(const TComTimeouts& value);
    TComFlowControl& FlowControl() { return FFlowControl; }
    const TComFlowControl& FlowControl() const { return FFlowControl; }
    void SetFlowControl(const TComFlowControl& value);

    // The device handle (INVALID_HANDLE_VALUE while closed).
    platform::HANDLE Handle() const { return FHandle; }
    // Whether an event thread runs for the open port.
    bool ThreadCreated() const { return FThreadCreated; }
    // The services and the hand-over the port uses.
    platform::ISerialServices& Services() const { return *FServices; }
    TComSync& Sync() const { return *FSync; }

    // ---- Data transfer. None checks Connected: on a closed port the OS call fails. ----

    // Writes the whole text and waits; returns the bytes written (fewer when the write time
    // limit ran out). An empty text returns 0. Throws EComPort 2.
    int WriteStr(const std::string& str);
    // Reads up to `count` bytes (with the default timeouts: what is queued now) into `str`, which
    // then holds exactly the bytes read; returns their number. count <= 0 gives "" and 0.
    // Throws EComPort 3 (or 10 for the queue query after the read).
    int ReadStr(std::string& str, int count);
    // Reads up to `count` bytes into `buffer`; returns their number. Throws EComPort 3 or 10.
    int ReadBuf(void* buffer, int count);
    // Writes `count` bytes from `buffer` and waits; returns the bytes written. Throws EComPort 2.
    int Write(const void* buffer, int count);

    // Requests. CreateRequest gives a fresh request (its event signalled); FreeRequest releases
    // it and empties the pointer. The start operations return the bytes moved at once (0 while
    // pending); WaitForRequest waits for the end and returns the bytes moved. A null request
    // throws EComPort 4; a failed start throws 2 (write) or 3 (read), as does a failed completion.
    PAsync CreateRequest();
    void FreeRequest(PAsync& request);
    int StartWrite(const void* buffer, int count, PAsync request);
    int StartWriteStr(const std::string& str, PAsync request);
    int StartRead(void* buffer, int count, PAsync request);
    // Sizes `str` to `count` and starts a read into its bytes (count <= 0: "" and 0, nothing
    // started). `str` must not be touched until the request completed.
    int StartReadStr(std::string& str, int count, PAsync request);
    int WaitForRequest(PAsync request);

    // Bytes waiting in the receive queue. Throws EComPort 10.
    int RxQueueCount();
    // Line errors pending since the last query (clears them). Throws EComPort 10.
    TComErrors LineErrors();
    // CTS, DSR, ring indicator and carrier detect. Throws EComPort 11.
    TComSignals ModemLines();
    // Cancels pending reads and writes. Throws EComPort 5.
    void AbortPendingIo();
    // Raise or drop DTR/RTS at once, whatever the flow control holds. Throws EComPort 12.
    void SetDTR(bool on);
    void SetRTS(bool on);

    // ---- Settings store ----
    // Writes or reads the groups of SavedGroups, in the section named Name(). Loading passes
    // every value through its property setter (an open port is reconfigured key by key); a
    // missing INI key keeps the current value ("CustomBaudRate" defaults to 9600). Throw what the
    // store or the setters throw.
    virtual void SaveToIniFile(TComIniFile& ini);
    virtual void LoadFromIniFile(TComIniFile& ini);
    virtual void SaveToRegistry(TComRegistry& reg);
    virtual void LoadFromRegistry(TComRegistry& reg);

    // Loading from a stored form: between BeginLoading and Loaded setters only store and
    // Connected only keeps its flag; Loaded opens the port when Connected was stored true, and a
    // failure goes to the hand-over's exception display with the port closed.
    void BeginLoading() { FLoading = true; }
    void Loaded();

    // ---- Apply steps: do nothing unless open (and not loading). ----
    // SetupComm with the queue sizes. Throws EComPort 9; std::out_of_range for a negative size.
    virtual void ApplyBufferSizes();
    // SetCommState with the DCB built from the settings. Throws EComPort 7; std::out_of_range
    // for a negative CustomBaudRate (with brCustom) or an InputSize above 262143.
    virtual void ApplyLineSettings();
    // SetCommTimeouts. Throws EComPort 8; std::out_of_range for a timeout below -1.
    virtual void ApplyTimeouts();
    // The DCB and COMMTIMEOUTS records as the apply steps hand them over.
    platform::DCB BuildDCB() const;
    platform::COMMTIMEOUTS BuildTimeouts() const;

    // ---- Handler slots ----
    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnAfterClose;
    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnBeforeClose;
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnBreak;
    TNotifyEvent OnRing;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TNotifyEvent OnRxFlag;
    TComErrorEvent OnError;
    TNotifyEvent OnRx80Full;

protected:
    // services: the device layer (null: the termios layer); sync: the hand-over to the
    // user-interface thread (null: calls run on the event thread).
    TCustomComPort(std::shared_ptr<platform::ISerialServices> services, std::shared_ptr<TComSync> sync);

    virtual void OpenDevice();
    virtual void CloseDevice();
    virtual void ApplySettings();

    // Dispatch steps: call the handler when one is assigned.
    virtual void NotifyAfterOpen();
    virtual void NotifyAfterClose();
    virtual void NotifyBeforeOpen();
    virtual void NotifyBeforeClose();
    virtual void NotifyRxChar(int count);
    virtual void NotifyRxBuf(const char* buffer, int count);
    virtual void NotifyTxEmpty();
    virtual void NotifyBreak();
    virtual void NotifyRing();
    virtual void NotifyCTSChange(bool onOff);
    virtual void NotifyDSRChange(bool onOff);
    virtual void NotifyRLSDChange(bool onOff);
    virtual void NotifyRxFlag();
    virtual void NotifyError(TComErrors errors);
    virtual void NotifyRx80Full();

    // The handling step of one line event (on whatever thread the hand-over delivers to).
    void HandleEvent(TComEvent event);
    // The handling steps of a group of events, in the fixed order.
    void RunHandlers(TComEvents events);

    // Set by TComPort: the Sender the handlers receive.
    TComPort* FSender = nullptr;

private:
    friend class TComThread;
    friend class TComPort;
    void AfterOpenStep();
    void BeforeCloseStep();
    // smWindowSync: queue each event of the group for the user-interface thread.
    void PostEvents(TComEvents events, const std::shared_ptr<TCustomComPort*>& window);
    bool CanApply() const { return FConnected && !FLoading; }
    platform::DWORD LastError() const { return FServices->GetLastError(); }
    [[noreturn]] void RaiseWin(int code) const;

    std::shared_ptr<platform::ISerialServices> FServices;
    std::shared_ptr<TComSync> FSync;

    std::unique_ptr<TComThread> FEventThread;
    bool FThreadCreated = false;
    platform::HANDLE FHandle = platform::INVALID_HANDLE_VALUE;
    // The stand-in for the notification window of smWindowSync: events posted for one opening
    // carry it, and Close withdraws it, so notifications still queued then are dropped.
    std::shared_ptr<TCustomComPort*> FWindow;
    bool FAnnounceRxChar = true;
    bool FConnected = false;
    TBaudRate FBaudRate = br9600;
    std::int32_t FCustomBaudRate = 9600;
    std::string FPort = "COM1";
    TStopBits FStopBits = sbOneStopBit;
    TDataBits FDataBits = dbEight;
    bool FDiscardNull = false;
    char FEventChar = 0;
    TComEvents FEvents = AllComEvents();
    TComBuffer FBuffer{this};
    TComParity FParity{this};
    TComTimeouts FTimeouts{this};
    TComFlowControl FFlowControl{this};
    TSyncMethod FSyncMethod = smThreadSync;
    TStoredProps FSavedGroups{spBasic};
    std::string FName = "ComPort";
    bool FLoading = false;
    // Set while Close runs: a handler that Close itself runs (the last hand-over it serves, a
    // before-close notification) and closes the port again leaves the closing to it.
    bool FClosing = false;
};

// The port the program creates: TCustomComPort with everything public.
class TComPort : public TCustomComPort {
public:
    // services: the device layer (default: the termios layer); sync: the hand-over to the
    // user-interface thread (default: handlers run on the event thread; the program passes its
    // Qt hand-over). Nothing touches the device.
    explicit TComPort(std::shared_ptr<platform::ISerialServices> services = nullptr,
                      std::shared_ptr<TComSync> sync = nullptr);
    ~TComPort() override;
};
