#pragma once
// TCommX: the serial port component. It owns one COM port: opens it with the configured line
// settings, writes blocks through a transmit thread of its own, watches the port with a
// receive thread of its own, and reports received data, breaks and line errors through
// events that run on the owner's thread.
//
// COM numbers stay the program's port names. COM n opens the device path that the resolver
// gives (SetPortPathResolver; the application maps it through the settings file's [PORTS]
// section); without a resolver COM n is /dev/ttyACM<n-1>.
//
// Threads. Everything except the events belongs to the owner's thread (the thread this
// QObject lives in), which must run a Qt event loop for the events. TCommTransThread writes
// the queued blocks; TCommReceiveThread waits for port events and hands them to the owner's
// thread (OwnerWake), never more than one receive notification at a time; neither thread
// ever waits for the owner's thread. PortClose wakes and joins both. While data keeps coming
// the owner takes it every kReceiveIntervalMs rather than at each arrival (a console at a
// full bus writes a line per frame); the first data after a quiet spell is announced at once.
//
// What termios cannot do:
// - 1.5 stop bits: refused with the stop-bit text.
// - DTR/DSR handshake (cfcDtrDsr): DTR and RTS are raised and output does not wait for DSR.
// - The XON/XOFF limits and the driver's queue sizes (BufLenTrans, BufLenReceive) are the
//   driver's own; the values are checked and BufLenTrans still sizes the transmitted blocks.
// - Modem lines, break and the line counters are ioctls that some devices lack (a
//   pseudo-terminal has none of them): those calls then do nothing, the modem status reads
//   as all lines off and no line errors are reported.

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/owner_wake.h"
#include "link/serial_posix.h"
#include "link/wake_fd.h"

class QTimer;

namespace velqor {

enum TCommParityBits { cpbNone, cpbOdd, cpbEven };
enum TCommStopBits { csb1, csb1p5, csb2 };
enum TCommFlowCtrls { cfcRtsCts, cfcDtrDsr, cfcXonXoff, cfcHalfHigh, cfcHalfLow, cfcNone };

// Texts of ECommError.
inline constexpr const char* kCommErrAlreadyOpen = "ポートは、すでにオープンされています";
inline constexpr const char* kCommErrOpen = "ポートをオープンできませんでした";
inline constexpr const char* kCommErrTransThread = "送信用スレッドを生成できませんでした";
inline constexpr const char* kCommErrReceiveThread = "受信用スレッドを生成できませんでした";
inline constexpr const char* kCommErrBitRate = "通信速度の設定でエラーが発生しました";
inline constexpr const char* kCommErrCharSize = "通信ビット数の設定でエラーが発生しました";
inline constexpr const char* kCommErrParity = "通信パリティチェックの設定でエラーが発生しました";
inline constexpr const char* kCommErrStopBit = "通信ストップビット数の設定でエラーが発生しました";
inline constexpr const char* kCommErrFlowCtrl = "通信フロー制御の設定で失敗しました";
inline constexpr const char* kCommErrTimeOut = "通信タイムアウト時間の設定で失敗しました";
inline constexpr const char* kCommErrXonChar = "Ｘｏｎ文字の設定でエラーが発生しました";
inline constexpr const char* kCommErrXoffChar = "Ｘｏｆｆ文字の設定でエラーが発生しました";
inline constexpr const char* kCommErrBuffer = "通信用ポートのバッファを準備できませんでした";

// Line error bits of OnError.
inline constexpr int kCommErrorOverrun = 2;
inline constexpr int kCommErrorParity = 4;
inline constexpr int kCommErrorFraming = 8;

// What the component raises. what() is the text; Detail() says which port and why, for a
// technician (e.g. "COM3 (/dev/ttyACM2): no such device").
class ECommError : public std::runtime_error {
 public:
  explicit ECommError(const char* text, std::string detail = {})
      : std::runtime_error(text), m_detail(std::move(detail)) {}
  const std::string& Detail() const { return m_detail; }

 private:
  std::string m_detail;
};

class TCustomCommX;

// Writes the queued blocks to the port, in order, one batch at a time; raises and lowers RTS
// around each batch for half-duplex lines.
class TCommTransThread {
 public:
  // Throws std::system_error when the thread or its wake-up descriptor cannot be made.
  TCommTransThread(TCustomCommX& owner, SerialPort& port, int charTime);
  ~TCommTransThread();  // stops and joins; blocks still queued are dropped
  TCommTransThread(const TCommTransThread&) = delete;
  TCommTransThread& operator=(const TCommTransThread&) = delete;

  void Post(std::vector<std::uint8_t> block);
  void SetCharTime(int ms) { CharTime.store(ms); }
  void SetClearing(bool on);

 private:
  void Execute(std::stop_token stop);
  void WriteBlock(const std::vector<std::uint8_t>& block, std::stop_token& stop);
  void HalfCtrlStart(TCommFlowCtrls flow, std::stop_token& stop);
  void HalfCtrlEnd(TCommFlowCtrls flow, std::stop_token& stop);
  // Waits `ms` milliseconds; false when stopped or clearing cut the wait short.
  bool Pause(int ms, std::stop_token& stop);

  TCustomCommX& m_owner;
  SerialPort& m_port;
  WakeFd m_wake;
  std::atomic<int> CharTime;
  std::atomic<bool> Clearing{false};
  std::mutex m_queueMutex;
  std::condition_variable_any m_queued;
  std::deque<std::vector<std::uint8_t>> m_queue;
  std::jthread m_thread;  // last: started once everything it uses exists
};

// Waits for port events (data, break, line errors, the line hanging up) and notifies the
// owner. The receive queue is read by the owner, in OnReceive, through ReceiveBlock.
class TCommReceiveThread {
 public:
  // Throws std::system_error when the thread or its descriptors cannot be made.
  TCommReceiveThread(TCustomCommX& owner, SerialPort& port);
  ~TCommReceiveThread();  // stops and joins
  TCommReceiveThread(const TCommReceiveThread&) = delete;
  TCommReceiveThread& operator=(const TCommReceiveThread&) = delete;

 private:
  void Execute(std::stop_token stop);

  TCustomCommX& m_owner;
  SerialPort& m_port;
  WakeFd m_wake;
  int m_epoll = -1;
  std::jthread m_thread;
};

class TCustomCommX : public QObject {
  Q_OBJECT

 public:
  using TCommReceiveEvent = std::function<void(TCustomCommX* Sender, int ReceiveSize)>;
  using TCommBreakEvent = std::function<void(TCustomCommX* Sender)>;
  using TCommErrEvent = std::function<void(TCustomCommX* Sender, int ErrorState)>;
  using TCommVanishEvent = std::function<void(TCustomCommX* Sender)>;
  using PortPathResolver = std::function<std::string(int portNo)>;
  using PortOpener =
      std::function<std::unique_ptr<SerialPort>(const std::string& path, int& errnum)>;

  // While data keeps arriving, how often the owner is told of it.
  static constexpr int kReceiveIntervalMs = 4;

  explicit TCustomCommX(QObject* parent = nullptr);
  ~TCustomCommX() override;

  // Raises ECommError on failure; the port is then closed again.
  void PortOpen();
  void PortClose();
  bool IsOpen() const { return m_port != nullptr; }
  // The open port hung up (its device went away); it stays open, and useless, until closed.
  bool Vanished() const { return m_vanished.load(); }

  // Queues bytes for the transmit thread in blocks of at most BufLenTrans bytes; with 32
  // blocks in flight it waits for one to be written, processing the thread's Qt events
  // meanwhile. True once everything is queued (at once for count 0); false when the port is
  // closed, has no transmit thread or has hung up.
  virtual bool TransBlock(const void* bytes, int count);
  bool TransChar(char c) { return TransBlock(&c, 1); }
  bool TransString(std::string_view text) {
    return text.empty() || TransBlock(text.data(), static_cast<int>(text.size()));
  }
  // Reads up to `count` bytes, waiting at most TimeOutReceive ms for the rest; the number
  // read, or -1 (closed, no receive thread, no buffer, the line hung up, a failure).
  virtual int ReceiveBlock(void* buffer, int count);
  int ReceiveChar();

  void ClearTransBuf();
  void ClearReceiveBuf();
  int GetTransLength();
  int GetReceiveLength();

  void SetRtsSignal(bool on);
  void SetDtrSignal(bool on);
  bool IsCtsSignal() { return ModemStatus() & kModemCts; }
  bool IsDsrSignal() { return ModemStatus() & kModemDsr; }
  bool IsRingSignal() { return ModemStatus() & kModemRing; }
  bool IsRlsdSignal() { return ModemStatus() & kModemRlsd; }
  // Holds the line in break for 300 ms.
  void SendBreak();

  // True from the receive thread's notice of arriving bytes until the owner's thread has
  // handled it (with OnReceive, or without when the queue was emptied meanwhile). Lets a test
  // know that a notice is on its way and when it has passed.
  bool ReceiveNotificationPending() const { return m_receivePending.load(); }

  // COM n -> device path.
  void SetPortPathResolver(PortPathResolver resolver) { m_resolver = std::move(resolver); }
  static std::string DefaultPortPath(int portNo);
  std::string PortPath() const;
  // How a path is opened (SerialPort::Open unless a test says otherwise).
  void SetPortOpener(PortOpener opener) { m_opener = std::move(opener); }

 protected:
  // Properties; TCommX publishes them. A setter stores the value and, while the port is
  // open, applies it at once (raising ECommError with its text when the port refuses it).
  int PortNo() const { return m_portNo; }
  void SetPortNo(int portNo);  // while open: closes and opens on the new number
  int BitRate() const { return m_bitRate; }
  void SetBitRate(int bitRate);  // below 10 refused
  int CharSize() const { return m_charSize; }
  void SetCharSize(int bits);
  TCommParityBits ParityBit() const { return m_parityBit; }
  void SetParityBit(TCommParityBits parity);  // a value outside the enumeration: no change
  TCommStopBits StopBit() const { return m_stopBit; }
  void SetStopBit(TCommStopBits stop);  // likewise
  TCommFlowCtrls FlowCtrl() const { return m_flowCtrl; }
  void SetFlowCtrl(TCommFlowCtrls flow);
  int TimeOutTrans() const { return m_timeOutTrans.load(); }
  void SetTimeOutTrans(int ms);
  int TimeOutReceive() const { return m_timeOutReceive.load(); }
  void SetTimeOutReceive(int ms);
  char XonChar() const { return m_xonChar; }
  void SetXonChar(char c);
  char XoffChar() const { return m_xoffChar; }
  void SetXoffChar(char c);
  int BufLenTrans() const { return m_bufLenTrans; }
  void SetBufLenTrans(int bytes);
  int BufLenReceive() const { return m_bufLenReceive; }
  void SetBufLenReceive(int bytes);
  int Handle() const { return m_port ? m_port->Fd() : -1; }

  TCommReceiveEvent OnReceive;  // data wait in the receive queue (ReceiveSize bytes)
  TCommBreakEvent OnBreak;
  TCommErrEvent OnError;  // line errors: kCommError* bits
  // The open port hung up, once per opening, after the data received before it.
  TCommVanishEvent OnVanish;

 private:
  friend class TCommTransThread;
  friend class TCommReceiveThread;

  std::string PortName() const;  // "COM3 (/dev/ttyACM2)"
  void Apply(const SerialLine& candidate, const char* text);
  void ApplyBitRate();
  void ApplyCharSize();
  void ApplyParityBit();
  void ApplyStopBit();
  void ApplyFlowCtrl();
  void ApplyTimeOuts();
  void ApplyXonChar();
  void ApplyXoffChar();
  void ApplyQueueSizes();
  void CreateThreads();
  int ModemStatus();
  static int CharTimeOf(int bitRate) { return 1000 / (bitRate / 10) + 1; }

  // Called by the threads.
  void BlockDone(std::size_t size);
  void CheckLineEvents();
  void PostReceive();
  void PostBreaks(int count);
  void PostErrors(int bits);
  void PortVanished();
  void OwnerWoken();
  void ReceiveTick();
  void HandleReceive();

  // Properties.
  int m_portNo = 1;
  int m_bitRate = 9600;
  int m_charSize = 8;
  TCommParityBits m_parityBit = cpbNone;
  TCommStopBits m_stopBit = csb1;
  TCommFlowCtrls m_flowCtrl = cfcRtsCts;
  std::atomic<int> m_timeOutTrans{3000};
  std::atomic<int> m_timeOutReceive{3000};
  char m_xonChar = 17;
  char m_xoffChar = 19;
  int m_bufLenTrans = 2048;
  int m_bufLenReceive = 2048;

  PortPathResolver m_resolver;
  PortOpener m_opener;
  std::string m_openPath;

  std::unique_ptr<SerialPort> m_port;
  SerialLine Dcb;  // line settings as last applied
  std::atomic<TCommFlowCtrls> m_activeFlow{cfcRtsCts};
  std::atomic<bool> m_vanished{false};

  std::mutex PortLock;   // around every write to the port and every purge of its output
  std::mutex CountLock;  // guards TransLength and TransBlocks
  std::condition_variable m_countChanged;
  int TransLength = 0;  // bytes queued for the transmit thread and not yet written
  int TransBlocks = 0;  // blocks queued for the transmit thread and not yet written

  std::mutex m_lineCountLock;
  SerialErrorCounts m_lineCounts;
  bool m_haveLineCounts = false;

  std::atomic<bool> m_receivePending{false};
  // A receive was just handled: arrivals wait for m_receiveTick instead of waking the owner.
  std::atomic<bool> m_receiveHeld{false};
  std::unique_ptr<QTimer> m_receiveTick;  // owner's thread
  std::atomic<int> m_pendingBreaks{0};
  std::atomic<int> m_pendingErrors{0};
  std::atomic<bool> m_vanishPending{false};
  std::unique_ptr<OwnerWake> m_ownerWake;  // made by the first PortOpen, on the owner's thread

  // Last: destroyed first, while everything they use still exists.
  std::unique_ptr<TCommTransThread> TransThread;
  std::unique_ptr<TCommReceiveThread> ReceiveThread;
};

// The component with its properties published.
class TCommX : public TCustomCommX {
  Q_OBJECT

 public:
  using TCustomCommX::TCustomCommX;

  using TCustomCommX::BitRate;
  using TCustomCommX::BufLenReceive;
  using TCustomCommX::BufLenTrans;
  using TCustomCommX::CharSize;
  using TCustomCommX::FlowCtrl;
  using TCustomCommX::Handle;
  using TCustomCommX::ParityBit;
  using TCustomCommX::PortNo;
  using TCustomCommX::SetBitRate;
  using TCustomCommX::SetBufLenReceive;
  using TCustomCommX::SetBufLenTrans;
  using TCustomCommX::SetCharSize;
  using TCustomCommX::SetFlowCtrl;
  using TCustomCommX::SetParityBit;
  using TCustomCommX::SetPortNo;
  using TCustomCommX::SetStopBit;
  using TCustomCommX::SetTimeOutReceive;
  using TCustomCommX::SetTimeOutTrans;
  using TCustomCommX::SetXoffChar;
  using TCustomCommX::SetXonChar;
  using TCustomCommX::StopBit;
  using TCustomCommX::TimeOutReceive;
  using TCustomCommX::TimeOutTrans;
  using TCustomCommX::XoffChar;
  using TCustomCommX::XonChar;

  using TCustomCommX::OnBreak;
  using TCustomCommX::OnError;
  using TCustomCommX::OnReceive;
  using TCustomCommX::OnVanish;
};

}  // namespace velqor
