#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/MessageTarget.h"
#include "platform/StopSignal.h"

class CSerialPort;

// A configuration step that failed: its operation name ("SetCommState()")
// and the system's text for the error.
struct SCommFailure {
    std::string operation;
    std::string systemText;
};

// What one operating system contributes to a serial port: the device, the
// write and shutdown events, and the port thread's wait. CSerialPort keeps
// everything that is the same everywhere (lock, send buffer, thread
// lifetime, error box). Each system provides CreateSerialBackend in its own
// file; callers only ever see CSerialPort.
class CSerialBackend {
public:
    virtual ~CSerialBackend() = default;

    // Obtains the device for exclusive use; false (quietly) when it cannot.
    [[nodiscard]] virtual bool Open(const std::string& portName) = 0;
    // Purge, timeouts, 9600 8N1 raw, purge again. Stops at the first step
    // that fails and returns it; reports nothing itself, because it runs
    // under the port's lock and the caller shows the box once it is free.
    virtual std::optional<SCommFailure> Configure() = 0;
    virtual bool IsOpen() const = 0;
    // Closes the device; only called while no port thread runs.
    virtual void Close() = 0;

    // Fresh, unsignalled write and shutdown events for a new opening.
    virtual void ResetEvents() = 0;
    virtual void SignalWrite() = 0;
    virtual void SignalShutdown() = 0;

    // The port thread's body: waits on write event, shutdown event and port
    // (in that order of precedence) until the shutdown event is signalled.
    virtual void RunPortThread() = 0;

    // Text of the last system error, for ReportCommError.
    virtual std::string LastErrorText() const = 0;
    // The last Open failed for lack of permission (Linux: the user is not
    // in the group that owns serial devices).
    virtual bool AccessDenied() const { return false; }
};

std::unique_ptr<CSerialBackend> CreateSerialBackend(CSerialPort& port);

// One serial port and its port thread. The thread transmits the send buffer
// when the write event is signalled and hands every byte that arrives to
// OnReceiveByte. A port is named by its device path ("/dev/ttyUSB0"); on
// Windows by "COMn" (see ComPortDeviceName).
class CSerialPort {
public:
    static constexpr std::size_t kSendBufferSize = 512;
    static constexpr std::size_t kErrorTextSize = 1024; // the error box's text, cut to fit

    CSerialPort();
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Called on the port thread for every byte read, outside the lock.
    virtual void OnReceiveByte(std::uint8_t byte) = 0;

    // Ends a running port thread, closes a device left open, and opens and
    // configures the named port: 1 when it is ready, 0 when it could not be
    // opened (no box) or refused its settings. A refused setting closes the
    // device again and shows one "Application Error" box naming the step,
    // after the port's locks are let go. Does not start the thread.
    [[nodiscard]] int OpenPort(platform::IMessageTarget* pOwner, const std::string& portName);
    // Starts the port thread on an open port; false when none was started.
    [[nodiscard]] bool StartPortThread();
    // Stops the port thread (stop request, then signal and wait 500 ms, up
    // to 10 rounds), joins it, then closes the device. The stop request
    // releases a box the thread waits on.
    void ClosePort();

    bool IsOpen() const;
    bool IsThreadAlive() const { return m_bThreadAlive.load(); }
    // The device failed under the port thread in this opening (unplugged,
    // I/O errors); cleared by the next OpenPort.
    bool HasFailed() const { return m_bFailed.load(); }
    // The last OpenPort found no permission to open the device.
    bool OpenWasDenied() const { return m_pBackend->AccessDenied(); }
    std::string PortName() const;
    platform::IMessageTarget* Owner() const { return m_pOwner.load(); }
    // OpenPort sets the owner; this lets the receive side run without a device.
    void SetOwner(platform::IMessageTarget* pOwner) { m_pOwner.store(pOwner); }

    // Shows the "Application Error" box for a failed operation with the
    // system's text for the last error and the port's name. The caller
    // holds none of the port's locks.
    void ReportCommError(const std::string& operation);
    // The box's text; exposed so its cutting can be checked.
    static std::string FormatCommError(const std::string& operation, const std::string& systemText,
                                       const std::string& portName);

    // The frame currently in the send buffer (under the lock).
    std::string SendBufferSnapshot() const;
    int SendLength() const;

    // --- used by the backends on the port thread ---
    // Copies a pending frame out of the send buffer under the lock; returns
    // its length, 0 when nothing is pending.
    std::size_t TakeSendBuffer(std::uint8_t* out, std::size_t capacity);
    void SetThreadAlive(bool alive) { m_bThreadAlive.store(alive); }
    void MarkFailed() { m_bFailed.store(true); }

protected:
    // The one transmission request: fill the send buffer and set its length
    // under the lock, then signal the write event. False when the frame does
    // not fit (nothing is sent).
    [[nodiscard]] bool QueueTransmission(const std::uint8_t* frame, std::size_t length);
    // Ends the port thread at once and closes the device. A derived class
    // calls it first in its destructor: the thread calls OnReceiveByte.
    void ShutdownPort();

private:
    void StopThread();
    void PortThreadProc();
    bool OpenUnderLocks(platform::IMessageTarget* pOwner, const std::string& portName,
                        std::optional<SCommFailure>& failure);
    static void ShowCommError(const SCommFailure& failure, const std::string& portName);

    mutable std::mutex m_lock; // guards opening, the send buffer and the device
    // Serialises open, start and close from different threads; never taken
    // by the port thread, so joining it under this lock cannot deadlock.
    std::mutex m_lifeLock;
    std::unique_ptr<CSerialBackend> m_pBackend;
    std::thread m_thread;
    // The port thread's stop request: requested before the shutdown event,
    // so a box the thread waits on lets it go; reset by OpenPort.
    CStopSignal m_stop;
    std::atomic<bool> m_bThreadAlive{false};
    std::atomic<bool> m_bFailed{false};
    std::atomic<platform::IMessageTarget*> m_pOwner{nullptr};
    std::string m_strPortName; // under m_lock
    std::array<std::uint8_t, kSendBufferSize> m_bySendBuffer{};
    int m_nSendLength = 0;       // under m_lock
    bool m_bSendPending = false; // under m_lock: a frame waits for the port thread
};

// Windows device name for port number n: "COM9", "\\.\COM12" (two
// backslashes, dot, backslash) from 10 on.
std::string ComPortDeviceName(int portNumber);
