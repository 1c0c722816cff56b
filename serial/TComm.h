// TComm: the serial port component and its receive and transmit threads, on Linux.
//
// How the component meets Linux:
//  * CommName is a device path such as /dev/ttyUSB0 or /dev/pts/3 and is opened as it is.
//    A bare "COMn" name (what CommPort writes, and the design default "COM1") is opened as
//    /dev/ttyS<n-1>, the Linux name of the PC's n-th on-board port; any other name without a
//    '/' is taken relative to /dev.
//  * Open: open(O_RDWR|O_NOCTTY|O_NONBLOCK|O_CLOEXEC), then flock(LOCK_EX|LOCK_NB) and TIOCEXCL
//    (TIOCEXCL does not stop root, flock does); a device held by another TComm or another
//    program that locks or TIOCEXCLs it gives "Error opening serial port". Not a character
//    device, or not a terminal: "File handle is not a comm handle ". Raw mode (cfmakeraw,
//    CLOCAL|CREAD, VMIN=VTIME=0 until the time-outs say otherwise, below) stands for the driver
//    queue set-up: if it cannot be applied,
//    "Cannot setup comm buffer" and ECommsError. Purge is tcflush. TIOCNXCL is given back before
//    the descriptor is closed so that the next opener is not refused.
//  * ApplyCommState builds the control-flags word of the device control block (ControlFlags()) and
//  maps it onto
//    termios: baud by cfsetspeed (standard rates; others by termios2/BOTHER), CS5..CS8,
//    PARENB/PARODD/CMSPAR for odd/even/mark/space, CSTOPB for 1.5 and 2 stop bits, INPCK for
//    ParityCheck (with PARMRK: bytes with parity errors are replaced by ReplacedChar when
//    ReplaceWhenParityError is set, otherwise passed as received), IXON/IXOFF and VSTART/VSTOP
//    for XON/XOFF, CRTSCTS for Outx_CtsFlow or RtsHandshake, DTR and RTS raised or dropped with
//    TIOCMBIS/TIOCMBIC (DtrHandshake raises DTR: Linux has no DTR/DSR flow control),
//    RtsTransmissionAvailable by TIOCSRS485 where the driver has it. IgnoreNullChar drops zero
//    bytes in the receive thread. Outx_DsrFlow, DsrSensitivity, TxContinueOnXoff, XonLimit and
//    XoffLimit have no termios counterpart: they are kept and counted in ControlFlags() only.
//  * The five time-outs keep their classic comm time-out meaning and are carried out by the receive
//  thread
//    (see TComm.cpp, ReadOne): a read ends at InputLen bytes, or when the line has been silent
//    for more than ReadIntervalTimeout after a byte, or when the total time-out
//    (multiplier x InputLen + constant, if not 0) passes; a read that ends with 0 bytes ends the
//    receive thread without notice. Write time-outs only bound each wait for
//    room to write; the rest of the block is then written again.
//  * A read that ends only on silence of whole tenths of a second (ReadIntervalTimeout 100,
//    200, ... 25500, no total time-out) is timed by the line discipline instead: a second,
//    blocking descriptor of the same line is opened before TIOCEXCL, VMIN (InputLen, at most 64)
//    and VTIME (the interval in tenths) are set, and the receive thread sleeps in read() until
//    the reply has come and the line has been silent, one wake-up per reply instead of two. The
//    kernel counts the silence in its clock ticks, so it may end a read up to one tick (4 ms
//    at 250 Hz) before the full interval. A read that reaches 64 bytes goes on with the
//    thread's own timing. Only the close's wake-up signal reaches the receive thread; the close
//    repeats it until the thread has gone.
//  * Line errors (OnReceiveError with CE_RXOVER 1, CE_OVERRUN 2, CE_RXPARITY 4, CE_FRAME 8,
//    CE_BREAK 0x10) come from TIOCGICOUNT counters, checked by the receive thread whenever it
//    wakes; carrier-detect (8) and ring (4) changes from TIOCMIWAIT in a third thread of their
//    own. A driver without TIOCGICOUNT (a pseudo-terminal, for example) has neither: no line or
//    modem events are raised, which HasLineEvents() reports, and reception is unaffected.
//  * The threads post QEvents (types NoticeEventType(1025..1029)) to a QObject created by the
//    constructor on the constructing (UI) thread; they run in posting order there. Data blocks
//    are calloc'ed with a trailing zero byte and freed with their event, also when no handler is
//    set or the event is never delivered. Like a platform message queue, the notices waiting for
//    the UI thread are bounded (kMaxPendingNotices, kMaxPendingBytes): a notice that does not
//    fit is not posted, and the thread that posted it hangs up (OnRequestHangup) and stops.
//  * Thread priorities (tpHighest, tpHigher) are not raised: that needs privileges on Linux.
//  * Destroying a component whose port is open closes it first: no thread outlives it.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

class QObject;

class ECommsError : public std::runtime_error {
  public:
    explicit ECommsError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

enum class TDtrControl : uint8_t { DtrEnable = 0, DtrDisable = 1, DtrHandshake = 2 };
enum class TRtsControl : uint8_t {
    RtsEnable = 0,
    RtsDisable = 1,
    RtsHandshake = 2,
    RtsTransmissionAvailable = 3
};
enum class TByteSize : uint8_t { _5 = 0, _6 = 1, _7 = 2, _8 = 3 };
enum class TParity : uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class TStopBits : uint8_t { _1 = 0, _1_5 = 1, _2 = 2 };

class TComm;
using TNotifyEvent = std::function<void(TComm* sender)>;
using TReceiveDataEvent =
    std::function<void(TComm* sender, const uint8_t* buffer, uint16_t bufferLength)>;
using TReceiveErrorEvent = std::function<void(TComm* sender, uint32_t eventMask)>;
using TModemStateChangeEvent = std::function<void(TComm* sender, uint32_t modemEvent)>;
using TSendDataEmptyEvent = std::function<void(TComm* sender)>;

// Line error flags as the platform reports them (EventMask of OnReceiveError).
inline constexpr uint32_t CE_RXOVER = 0x0001;
inline constexpr uint32_t CE_OVERRUN = 0x0002;
inline constexpr uint32_t CE_RXPARITY = 0x0004;
inline constexpr uint32_t CE_FRAME = 0x0008;
inline constexpr uint32_t CE_BREAK = 0x0010;
// Modem bits of OnModemStateChange.
inline constexpr uint32_t MODEM_RLSD = 8;
inline constexpr uint32_t MODEM_RING = 4;

namespace commdetail {
struct Backlog;
struct OpenState;
class Notifier;
}  // namespace commdetail

class TComm {
  public:
    // Notice numbers (WM_USER + 1 .. + 5).
    static constexpr int kDataNotice = 1025;
    static constexpr int kErrorNotice = 1026;
    static constexpr int kHangupNotice = 1027;
    static constexpr int kModemNotice = 1028;
    static constexpr int kSendEmptyNotice = 1029;
    // QEvent type used for notice number n (1025..1029).
    static int NoticeEventType(int notice);

    static constexpr uint32_t MAXDWORD = 0xFFFFFFFFu;

    explicit TComm(QObject* owner = nullptr);
    ~TComm();
    TComm(const TComm&) = delete;
    TComm& operator=(const TComm&) = delete;

    // Operations.
    void OpenComm();
    void CloseComm();
    bool SendBytes(const void* buffer, uint16_t length);
    bool SendBytes(const char* buffer, uint16_t length) {
        return SendBytes(static_cast<const void*>(buffer), length);
    }
    bool SendBytes(const uint8_t* buffer, uint16_t length) {
        return SendBytes(static_cast<const void*>(buffer), length);
    }

    // Published properties, in declaration order.
    uint32_t CommPortIndex() const { return commPortIndex; }
    void SetCommPortIndex(uint32_t value);
    uint32_t CommPortCount();
    QString CommPortName() const { return commPortName; }
    bool PortOpen() const { return fd >= 0; }
    void SetPortOpen(bool value);
    uint8_t CommPort() const { return commPort; }
    void SetCommPort(uint8_t value);
    QString PortOpenError() const { return portOpenError; }
    QString Output() const { return output; }
    void SetOutput(const QString& value);
    uint16_t InputLen() const { return inputLen; }
    void SetInputLen(uint16_t value);
    uint16_t InBufferSize() const { return inBufferSize; }
    void SetInBufferSize(uint16_t value);
    QString CommName() const { return commName; }
    void SetCommName(const QString& value) { commName = value; }
    uint32_t BaudRate() const { return baudRate; }
    void SetBaudRate(uint32_t value);
    bool ParityCheck() const { return parityCheck; }
    void SetParityCheck(bool value);
    bool Outx_CtsFlow() const { return outxCtsFlow; }
    void SetOutx_CtsFlow(bool value);
    bool Outx_DsrFlow() const { return outxDsrFlow; }
    void SetOutx_DsrFlow(bool value);
    TDtrControl DtrControl() const { return dtrControl; }
    void SetDtrControl(TDtrControl value);
    bool DsrSensitivity() const { return dsrSensitivity; }
    void SetDsrSensitivity(bool value);
    bool TxContinueOnXoff() const { return txContinueOnXoff; }
    void SetTxContinueOnXoff(bool value);
    bool Outx_XonXoffFlow() const { return outxXonXoffFlow; }
    void SetOutx_XonXoffFlow(bool value);
    bool Inx_XonXoffFlow() const { return inxXonXoffFlow; }
    void SetInx_XonXoffFlow(bool value);
    bool ReplaceWhenParityError() const { return replaceWhenParityError; }
    void SetReplaceWhenParityError(bool value);
    bool IgnoreNullChar() const { return ignoreNullChar; }
    void SetIgnoreNullChar(bool value);
    TRtsControl RtsControl() const { return rtsControl; }
    void SetRtsControl(TRtsControl value);
    uint16_t XonLimit() const { return xonLimit; }
    void SetXonLimit(uint16_t value);
    uint16_t XoffLimit() const { return xoffLimit; }
    void SetXoffLimit(uint16_t value);
    TByteSize ByteSize() const { return byteSize; }
    void SetByteSize(TByteSize value);
    TParity Parity() const { return parity; }
    void SetParity(TParity value);
    TStopBits StopBits() const { return stopBits; }
    void SetStopBits(TStopBits value);
    char XonChar() const { return xonChar; }
    void SetXonChar(char value);
    char XoffChar() const { return xoffChar; }
    void SetXoffChar(char value);
    char ReplacedChar() const { return replacedChar; }
    void SetReplacedChar(char value);
    uint32_t ReadIntervalTimeout() const { return readIntervalTimeout; }
    void SetReadIntervalTimeout(uint32_t value);
    uint32_t ReadTotalTimeoutMultiplier() const { return readTotalTimeoutMultiplier; }
    void SetReadTotalTimeoutMultiplier(uint32_t value);
    uint32_t ReadTotalTimeoutConstant() const { return readTotalTimeoutConstant; }
    void SetReadTotalTimeoutConstant(uint32_t value);
    uint32_t WriteTotalTimeoutMultiplier() const { return writeTotalTimeoutMultiplier; }
    void SetWriteTotalTimeoutMultiplier(uint32_t value);
    uint32_t WriteTotalTimeoutConstant() const { return writeTotalTimeoutConstant; }
    void SetWriteTotalTimeoutConstant(uint32_t value);

    // Events (raised on the thread that created the component, only when set).
    TReceiveDataEvent OnReceiveData;
    TReceiveErrorEvent OnReceiveError;
    TModemStateChangeEvent OnModemStateChange;
    TNotifyEvent OnRequestHangup;
    TSendDataEmptyEvent OnSendDataEmpty;

    // Names of the published properties in declaration order.
    static QStringList PublishedProperties();
    // What a stored form would hold: the published, writable properties whose value is not
    // the declared default (properties without a declared default are always stored; the
    // read-only ones never), in declaration order, each as (name, value text).
    std::vector<std::pair<QString, QString>> StoredProperties() const;

    // The control flags word of the device control block, built from the line properties.
    uint32_t ControlFlags() const;

    // Diagnostics for tests and the owner.
    int PortHandle() const { return fd; }  // -1 while closed
    bool SendDataEmpty() const { return sendDataEmpty->load(); }
    int CommStateApplyCount() const { return stateApplies; }
    int CommTimeoutsApplyCount() const { return timeoutApplies; }
    // Notices the worker threads have posted and the user-interface thread has not handled yet,
    // and the bytes of their data blocks.
    uint32_t PendingNotices() const;
    uint64_t PendingBytes() const;
    // The most that may wait at once.
    static constexpr uint32_t kMaxPendingNotices = 10000;
    static constexpr uint64_t kMaxPendingBytes = 4u << 20;
    // True when the open port's driver reports line errors and modem changes (not a pty).
    bool HasLineEvents() const { return lineEvents; }
    // Device path opened for a CommName (see the mapping above).
    static QString DevicePath(const QString& commName);

  private:
    friend class commdetail::Notifier;
    void HandleNotice(int notice, const uint8_t* block, uint32_t count, uint32_t param);
    void ApplyCommState();
    void ApplyCommTimeouts();
    // Puts the line discipline's own silence timing (VMIN/VTIME) in line with the read rules.
    void ApplySilence();
    void StopThreads();

    template <typename T>
    void SetLine(T& field, T value) {
        if (field == value) return;
        field = value;
        if (PortOpen()) ApplyCommState();
    }
    void SetTimeout(uint32_t& field, uint32_t value);

    // Properties.
    uint32_t commPortIndex = 0;
    QString commPortName;
    uint8_t commPort = 1;
    QString portOpenError;
    QString output;
    uint16_t inputLen = 1;
    uint16_t inBufferSize = 2048;
    QString commName = QStringLiteral("COM1");
    uint32_t baudRate = 9600;
    bool parityCheck = false;
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    TDtrControl dtrControl = TDtrControl::DtrDisable;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    bool outxXonXoffFlow = false;
    bool inxXonXoffFlow = false;
    bool replaceWhenParityError = false;
    bool ignoreNullChar = false;
    TRtsControl rtsControl = TRtsControl::RtsDisable;
    uint16_t xonLimit = 500;
    uint16_t xoffLimit = 500;
    TByteSize byteSize = TByteSize::_8;
    TParity parity = TParity::None;
    TStopBits stopBits = TStopBits::_1;
    char xonChar = 17;
    char xoffChar = 19;
    char replacedChar = 0;
    uint32_t readIntervalTimeout = 100;
    uint32_t readTotalTimeoutMultiplier = 0;
    uint32_t readTotalTimeoutConstant = 0;
    uint32_t writeTotalTimeoutMultiplier = 0;
    uint32_t writeTotalTimeoutConstant = 0;

    // Internal state.
    int fd = -1;
    std::shared_ptr<std::atomic<bool>> sendDataEmpty;
    std::shared_ptr<commdetail::Backlog> backlog;  // shared with every notice in flight
    std::shared_ptr<commdetail::OpenState> open;   // shared with the threads of this open
    std::thread readThread, writeThread, modemThread;
    commdetail::Notifier* notifier = nullptr;
    QStringList portList;
    uint32_t portCount = 0;
    bool lineEvents = false;
    int stateApplies = 0;
    int timeoutApplies = 0;
};
