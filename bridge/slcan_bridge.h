#pragma once
// SlcanBridge: the adapter served as an slcan (LAWICEL) device on a pseudo-terminal, so that
// can-utils (through slcand), python-can, SavvyCAN, cangaroo and the like can use it.
//
// Wiring. The bridge is a DeviceMessageSink: whoever decodes the adapter's messages (the
// frame interpreter on the USB reader thread, or the window's receive path) announces
// received frames to OnReceivedFrame and the other messages to OnDeviceMessage. Frames the host
// sends go to the adapter through the DeviceSender given at construction.
//
// Threads. The bridge owns one serving thread (std::jthread), started by Start and joined
// by Stop or the destructor. It alone touches the pseudo-terminal and the SlcanSession; it
// sleeps in poll on the terminal, the frame queue's wake-up descriptor and its own, and
// calls the DeviceSender. OnReceivedFrame and OnDeviceMessage may be called on any thread;
// they never wait for the host: a frame goes into a bounded queue (dropped and counted when a
// host does not read), an adapter message the session needs into a short list. Stats and
// the other getters may be called from any thread.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "bridge/host_frame_queue.h"
#include "bridge/pseudo_terminal.h"
#include "bridge/slcan_session.h"
#include "link/device_sender.h"
#include "link/interpreter.h"
#include "link/wake_fd.h"

namespace velqor {

struct BridgeOptions {
  SessionOptions session;
  // Frames waiting for the host: about 0.4 s of a full 1 Mbit/s bus.
  std::size_t queueCapacity = 8192;
  // Adapter messages waiting for the serving thread; beyond, they are dropped and counted.
  std::size_t maxAdapterMessages = 1024;
};

struct BridgeStats {
  std::uint64_t framesToHost = 0;     // frame lines handed to the pseudo-terminal
  std::uint64_t framesDropped = 0;    // frames lost because the host did not read
  std::uint64_t framesSent = 0;       // host frames the adapter sent on the bus
  std::uint64_t sendsFailed = 0;      // host frames that failed or got no answer
  std::uint64_t commandsRefused = 0;  // other commands answered BELL
  std::uint64_t messagesDropped = 0;  // adapter messages lost to a full list (never expected)
};

class SlcanBridge : public DeviceMessageSink {
 public:
  // `sender` must outlive the bridge.
  explicit SlcanBridge(DeviceSender& sender, BridgeOptions options = {});
  ~SlcanBridge();
  SlcanBridge(const SlcanBridge&) = delete;
  SlcanBridge& operator=(const SlcanBridge&) = delete;

  // Creates the pseudo-terminal and starts serving it. False with `error` saying why.
  bool Start(std::string& error);
  // Stops serving and joins the thread; the pseudo-terminal goes away.
  void Stop();
  // The path hosts open (empty before Start).
  const std::string& Path() const { return m_pty.Path(); }
  // Called once, on the serving thread, when the pseudo-terminal fails and serving ends.
  std::function<void(const std::string& why)> OnFailure;

  // DeviceMessageSink: any thread, never waits for the host.
  void OnReceivedFrame(const CanFrame& frame) override;
  void OnDeviceMessage(int code, const DeviceMessage& message) override;

  BridgeStats Stats() const;
  // Whether the host has the channel open (O or L) at the moment.
  bool ChannelOpen() const { return m_channelOpen.load(); }
  // CPU time the serving thread has used so far (zero when it does not run).
  std::chrono::nanoseconds ServingCpuTime() const;

 private:
  struct AdapterMessage {
    int code = 0;
    DeviceMessage message;
  };

  void Serve(std::stop_token stop);
  bool WriteOutput(std::string& why);
  bool ReadInput(std::string& why);

  BridgeOptions m_options;
  HostFrameQueue m_queue;
  SlcanSession m_session;  // serving thread only (before Start and after Stop: the owner's)
  PseudoTerminal m_pty;
  WakeFd m_wake;  // adapter messages and Stop

  std::mutex m_messagesMutex;
  std::deque<AdapterMessage> m_messages;  // guarded by m_messagesMutex
  std::atomic<std::uint64_t> m_messagesDropped{0};
  std::atomic<bool> m_channelOpen{false};
  static constexpr int kNoClock = -1;
  std::atomic<int> m_cpuClock{kNoClock};  // the serving thread's CPU-time clock while it runs

  // Host bytes read but not yet taken by the session (it takes none while a command waits).
  std::uint8_t m_input[4096] = {};
  std::size_t m_inputStart = 0;
  std::size_t m_inputEnd = 0;

  std::jthread m_thread;  // last: joined before the members it uses go away
};

}  // namespace velqor
