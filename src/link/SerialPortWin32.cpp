// Win32 backend of CSerialPort: an overlapped COM port and a port thread that
// waits on the write event, the shutdown event and the port's communication
// event, in that order of precedence.
#include <windows.h>

#include "platform/WinText.h"

#include <cstdio>
#include <string>

#include "link/SerialPort.h"
#include "platform/SerialPortsWin32.h"

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kEventMask = EV_RXCHAR | EV_CTS;
constexpr DWORD kInputQueue = 4096;
constexpr DWORD kOutputQueue = 512;
// How long a stopping port thread waits for its pending wait to end after the
// event mask was cleared, before it cancels the wait instead.
constexpr DWORD kWaitEndMs = 1000;

// Error of the last failed call on this thread, kept for the error box (the
// lock taken while the box is built may overwrite GetLastError).
thread_local DWORD t_dwLastError = 0;

// A manual-reset, initially unsignalled, unnamed event that lives as long as
// the backend, so that a late signal never reaches a closed handle.
class CEvent {
public:
    CEvent() : m_h(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~CEvent()
    {
        if (m_h != nullptr)
            ::CloseHandle(m_h);
    }
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;
    HANDLE Handle() const { return m_h; }

private:
    HANDLE m_h;
};

class CWin32SerialBackend : public CSerialBackend {
public:
    explicit CWin32SerialBackend(CSerialPort& port) : m_port(port)
    {
        // One OVERLAPPED for each kind of operation: the wait stays pending
        // while the thread reads and writes, and a structure must not be
        // reused while its operation is pending.
        m_ovWait.hEvent = m_commEvent.Handle();
        m_ovRead.hEvent = m_readEvent.Handle();
        m_ovWrite.hEvent = m_writeDone.Handle();
    }
    ~CWin32SerialBackend() override { Close(); }

    bool Open(const std::string& portName) override
    {
        // "COM12" from the registry becomes "\\.\COM12"; other names are
        // used as given.
        const int number = platform::ComPortNumber(portName);
        const std::wstring device = platform::WideFromUtf8(number > 0 ? ComPortDeviceName(number) : portName);
        const HANDLE h = ::CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OVERLAPPED, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            t_dwLastError = ::GetLastError();
            return false;
        }
        m_hPort = h;
        m_bWaitPending = false;
        m_bWaitReported = false;
        return true;
    }

    std::optional<SCommFailure> Configure() override
    {
        ::SetupComm(m_hPort, kInputQueue, kOutputQueue);
        ::PurgeComm(m_hPort, kPurgeAll);
        std::optional<SCommFailure> failure = ConfigureTimeouts();
        if (!failure)
            failure = ConfigureMask();
        if (!failure)
            failure = ConfigureState();
        ::PurgeComm(m_hPort, kPurgeAll);
        return failure;
    }

    bool IsOpen() const override { return m_hPort != nullptr; }

    void Close() override
    {
        if (m_hPort == nullptr)
            return;
        // Closing ends whatever is still pending on the handle.
        for (int attempt = 0; attempt < 10 && !::CloseHandle(m_hPort); ++attempt)
            ::Sleep(10);
        m_hPort = nullptr;
        m_bWaitPending = false;
    }

    void ResetEvents() override
    {
        ::ResetEvent(m_writeEvent.Handle());
        ::ResetEvent(m_shutdownEvent.Handle());
        ::ResetEvent(m_commEvent.Handle());
    }

    void SignalWrite() override { ::SetEvent(m_writeEvent.Handle()); }

    void SignalShutdown() override
    {
        // An empty mask ends a pending WaitCommEvent (cancelling the I/O does
        // not everywhere), so the thread can collect it before it leaves.
        if (m_hPort != nullptr)
            ::SetCommMask(m_hPort, 0);
        ::SetEvent(m_shutdownEvent.Handle());
    }

    void RunPortThread() override
    {
        if (m_hPort == nullptr)
            return;
        // A thread stopped on this handle before left the mask empty.
        ::SetCommMask(m_hPort, kEventMask);
        ::PurgeComm(m_hPort, kPurgeAll);
        const HANDLE events[3] = {m_writeEvent.Handle(), m_shutdownEvent.Handle(), m_commEvent.Handle()};
        for (;;) {
            const DWORD timeout = m_bWaitPending ? INFINITE : ArmWait();
            const DWORD which = ::WaitForMultipleObjects(3, events, FALSE, timeout);
            if (which == WAIT_TIMEOUT) {
                continue; // wait for communication events again
            } else if (which == WAIT_OBJECT_0) {
                TransmitSendBuffer();
            } else if (which == WAIT_OBJECT_0 + 1) {
                EndPendingWait();
                return;
            } else if (which == WAIT_OBJECT_0 + 2) {
                CollectWait();
                DWORD mask = 0;
                if (::GetCommMask(m_hPort, &mask) && (mask & EV_RXCHAR) != 0)
                    ReceivePending();
            } else {
                Report("WaitForMultipleObjects()");
                ::Sleep(100);
            }
        }
    }

    std::string LastErrorText() const override { return ErrorText(t_dwLastError); }

private:
    static std::string ErrorText(DWORD error)
    {
        wchar_t* text = nullptr;
        const DWORD length = ::FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
            MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text), 0, nullptr);
        std::string out = length > 0 && text != nullptr ? platform::Utf8FromWide(text, static_cast<int>(length))
                                                        : "Error " + std::to_string(error);
        if (text != nullptr)
            ::LocalFree(text);
        return out;
    }

    void Report(const char* operation)
    {
        t_dwLastError = ::GetLastError();
        m_port.ReportCommError(operation);
    }

    // The step that failed, with the system's text for GetLastError().
    static SCommFailure Failure(const char* operation)
    {
        const DWORD error = ::GetLastError(); // before anything else may change it
        return {operation, ErrorText(error)};
    }

    std::optional<SCommFailure> ConfigureTimeouts()
    {
        COMMTIMEOUTS timeouts{};
        ::GetCommTimeouts(m_hPort, &timeouts);
        timeouts.ReadIntervalTimeout = MAXDWORD; // a read returns at once with what is there
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = 0;
        timeouts.WriteTotalTimeoutMultiplier = 5;
        timeouts.WriteTotalTimeoutConstant = 50;
        if (::SetCommTimeouts(m_hPort, &timeouts))
            return std::nullopt;
        return Failure("SetCommTimeouts()");
    }

    std::optional<SCommFailure> ConfigureMask()
    {
        if (::SetCommMask(m_hPort, kEventMask))
            return std::nullopt;
        return Failure("SetCommMask()");
    }

    std::optional<SCommFailure> ConfigureState()
    {
        DCB dcb{};
        dcb.DCBlength = sizeof(DCB);
        if (!::GetCommState(m_hPort, &dcb))
            return Failure("GetCommState()");
        dcb.DCBlength = sizeof(DCB);
        dcb.fBinary = TRUE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        char settings[64];
        std::snprintf(settings, sizeof settings, "baud=%d parity=%c data=%d stop=%d", 9600, 'N', 8, 1);
        if (!::BuildCommDCBW(platform::WideFromUtf8(settings).c_str(), &dcb))
            return Failure("BuildCommDCB()");
        if (!::SetCommState(m_hPort, &dcb))
            return Failure("SetCommState()");
        return std::nullopt;
    }

    // Starts the wait for communication events and returns how long the
    // port thread may then block: not at all when the wait ended at once with
    // nothing to read, so that it is started again after any write or stop.
    DWORD ArmWait()
    {
        ::ResetEvent(m_commEvent.Handle());
        m_ovWait.Offset = 0;
        m_ovWait.OffsetHigh = 0;
        m_dwEvents = 0;
        if (::WaitCommEvent(m_hPort, &m_dwEvents, &m_ovWait)) {
            if (InputQueued() == 0)
                return 0;
            ::SetEvent(m_commEvent.Handle()); // read it through the event array
            return INFINITE;
        }
        const DWORD error = ::GetLastError();
        if (error == ERROR_IO_PENDING) {
            m_bWaitPending = true;
            return INFINITE;
        }
        // An empty mask (the thread is being stopped) gives
        // ERROR_INVALID_PARAMETER. Any other failure is shown once for this
        // opening; the thread keeps serving writes and tries again on each.
        if (error != ERROR_INVALID_PARAMETER && !m_bWaitReported) {
            m_bWaitReported = true;
            m_port.MarkFailed();
            ::SetLastError(error);
            Report("WaitCommEvent()");
        }
        return INFINITE;
    }

    void CollectWait()
    {
        if (!m_bWaitPending)
            return;
        DWORD unused = 0;
        ::GetOverlappedResult(m_hPort, &m_ovWait, &unused, FALSE);
        m_bWaitPending = false;
    }

    // The OVERLAPPED of a pending wait must stay untouched until the wait has
    // ended; SignalShutdown cleared the mask, which ends it.
    void EndPendingWait()
    {
        if (!m_bWaitPending)
            return;
        ::SetCommMask(m_hPort, 0);
        if (::WaitForSingleObject(m_commEvent.Handle(), kWaitEndMs) != WAIT_OBJECT_0) {
            ::CancelIoEx(m_hPort, &m_ovWait);
            if (::WaitForSingleObject(m_commEvent.Handle(), kWaitEndMs) != WAIT_OBJECT_0)
                return; // still pending: closing the handle ends it
        }
        CollectWait();
    }

    DWORD InputQueued()
    {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!::ClearCommError(m_hPort, &errors, &stat))
            return 0;
        return stat.cbInQue;
    }

    void TransmitSendBuffer()
    {
        ::ResetEvent(m_writeEvent.Handle());
        std::uint8_t frame[CSerialPort::kSendBufferSize];
        const std::size_t length = m_port.TakeSendBuffer(frame, sizeof frame);
        if (length == 0)
            return;
        m_ovWrite.Offset = 0;
        m_ovWrite.OffsetHigh = 0;
        ::PurgeComm(m_hPort, PURGE_TXABORT | PURGE_TXCLEAR);
        DWORD written = 0;
        if (::WriteFile(m_hPort, frame, static_cast<DWORD>(length), &written, &m_ovWrite))
            return;
        if (::GetLastError() != ERROR_IO_PENDING) {
            Report("WriteFile()");
            return;
        }
        if (!::GetOverlappedResult(m_hPort, &m_ovWrite, &written, TRUE))
            Report("GetOverlappedResults() in WriteFile()");
    }

    // Reads the queued bytes one at a time and hands each to the port.
    void ReceivePending()
    {
        while (InputQueued() > 0) {
            std::uint8_t byte = 0;
            DWORD read = 0;
            m_ovRead.Offset = 0;
            m_ovRead.OffsetHigh = 0;
            if (!::ReadFile(m_hPort, &byte, 1, &read, &m_ovRead)) {
                if (::GetLastError() != ERROR_IO_PENDING) {
                    m_port.MarkFailed();
                    Report("ReadFile()");
                    return; // not again at once: the next event retries
                }
                if (!::GetOverlappedResult(m_hPort, &m_ovRead, &read, TRUE)) {
                    Report("GetOverlappedResults() in ReadFile()");
                    return;
                }
            }
            if (read == 1)
                m_port.OnReceiveByte(byte);
        }
    }

    CSerialPort& m_port;
    HANDLE m_hPort = nullptr; // written only while no port thread runs
    CEvent m_writeEvent;
    CEvent m_shutdownEvent;
    CEvent m_commEvent;
    CEvent m_readEvent;
    CEvent m_writeDone;
    OVERLAPPED m_ovWait{};
    OVERLAPPED m_ovRead{};
    OVERLAPPED m_ovWrite{};
    DWORD m_dwEvents = 0;        // filled by a completed wait
    bool m_bWaitPending = false; // port thread only (and Open/Close with no thread)
    bool m_bWaitReported = false;
};

} // namespace

std::unique_ptr<CSerialBackend> CreateSerialBackend(CSerialPort& port)
{
    return std::make_unique<CWin32SerialBackend>(port);
}
