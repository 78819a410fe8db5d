#include "link/SerialPort.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/MessageBox.h"
#ifdef _WIN32
#include "platform/SerialPortsWin32.h"
#endif

CSerialPort::CSerialPort() : m_pBackend(CreateSerialBackend(*this)) {}

CSerialPort::~CSerialPort()
{
    ShutdownPort();
}

void CSerialPort::ShutdownPort()
{
    std::lock_guard<std::mutex> life(m_lifeLock);
    StopThread();
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pBackend->IsOpen())
        m_pBackend->Close();
}

// Signals the shutdown event until the port thread has gone, then joins it,
// so nothing below runs while the thread still uses the device.
void CSerialPort::StopThread()
{
    if (!m_thread.joinable())
        return;
    m_stop.Request();
    m_pBackend->SignalShutdown();
    m_thread.join();
    m_bThreadAlive.store(false);
}

int CSerialPort::OpenPort(platform::IMessageTarget* pOwner, const std::string& portName)
{
    std::optional<SCommFailure> failure;
    if (OpenUnderLocks(pOwner, portName, failure))
        return 1;
    // Shown only now: the box may wait for the UI thread, which may in turn
    // wait for these locks.
    if (failure)
        ShowCommError(*failure, portName);
    return 0;
}

// True when the device was obtained and took its settings. A refused
// setting closes it again and is handed back in `failure`.
bool CSerialPort::OpenUnderLocks(platform::IMessageTarget* pOwner, const std::string& portName,
                                 std::optional<SCommFailure>& failure)
{
    std::lock_guard<std::mutex> life(m_lifeLock);
    StopThread();
    m_stop.Reset();
    m_pBackend->ResetEvents();
    m_pOwner.store(pOwner);

    std::lock_guard<std::mutex> guard(m_lock);
    m_strPortName = portName;
    m_bFailed.store(false);
    m_bySendBuffer.fill(0);
    m_nSendLength = 0;
    m_bSendPending = false;
    if (m_pBackend->IsOpen())
        m_pBackend->Close();
    if (!m_pBackend->Open(portName))
        return false;
    failure = m_pBackend->Configure();
    if (!failure)
        return true;
    m_pBackend->Close();
    return false;
}

bool CSerialPort::StartPortThread()
{
    std::lock_guard<std::mutex> life(m_lifeLock);
    if (m_thread.joinable()) {
        if (m_bThreadAlive.load())
            return false; // one port thread per port
        m_thread.join();
    }
    if (!IsOpen())
        return false;
    m_bThreadAlive.store(true);
    m_thread = std::thread([this] { PortThreadProc(); });
    return true;
}

// Under the port's stop signal, so that a box the thread shows gives way to
// a close. An exception that escapes the backend is shown and ends the
// thread; the port then counts as failed, like a device gone.
void CSerialPort::PortThreadProc()
{
    platform::CThreadStopScope scope(m_stop);
    m_bThreadAlive.store(true);
    if (!platform::RunReportingExceptions("The port thread", [this] { m_pBackend->RunPortThread(); }))
        m_bFailed.store(true);
    m_bThreadAlive.store(false);
}

void CSerialPort::ClosePort()
{
    std::lock_guard<std::mutex> life(m_lifeLock);
    m_stop.Request();
    for (int round = 0; round < 10; ++round) {
        m_pBackend->SignalShutdown();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        if (!m_bThreadAlive.load())
            break;
    }
    // The device is closed only after the thread has been joined.
    StopThread();
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pBackend->IsOpen())
        m_pBackend->Close();
}

bool CSerialPort::IsOpen() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pBackend->IsOpen();
}

std::string CSerialPort::PortName() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_strPortName;
}

bool CSerialPort::QueueTransmission(const std::uint8_t* frame, std::size_t length)
{
    if (length > kSendBufferSize)
        return false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::memcpy(m_bySendBuffer.data(), frame, length);
        m_nSendLength = static_cast<int>(length);
        m_bSendPending = true;
    }
    m_pBackend->SignalWrite();
    return true;
}

std::size_t CSerialPort::TakeSendBuffer(std::uint8_t* out, std::size_t capacity)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_bSendPending)
        return 0;
    m_bSendPending = false;
    const std::size_t length = std::min(static_cast<std::size_t>(m_nSendLength), capacity);
    std::memcpy(out, m_bySendBuffer.data(), length);
    return length;
}

std::string CSerialPort::SendBufferSnapshot() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return std::string(reinterpret_cast<const char*>(m_bySendBuffer.data()), static_cast<std::size_t>(m_nSendLength));
}

int CSerialPort::SendLength() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_nSendLength;
}

std::string CSerialPort::FormatCommError(const std::string& operation, const std::string& systemText,
                                         const std::string& portName)
{
    const std::string head = "WARNING:  " + operation + " Failed with the following error: \n";
    const std::string tail = "\nPort: " + portName + "\n";
    const std::size_t limit = kErrorTextSize - 1;
    std::string text = head;
    if (head.size() + tail.size() < limit)
        text += systemText.substr(0, limit - head.size() - tail.size());
    text += tail;
    if (text.size() > limit)
        text.resize(limit);
    return text;
}

void CSerialPort::ReportCommError(const std::string& operation)
{
    ShowCommError(SCommFailure{operation, m_pBackend->LastErrorText()}, PortName());
}

void CSerialPort::ShowCommError(const SCommFailure& failure, const std::string& portName)
{
    std::string port = portName;
#ifdef _WIN32
    // Windows operators know their ports by number ("Port: 5").
    if (const int number = platform::ComPortNumber(port); number > 0)
        port = std::to_string(number);
#endif
    const std::string text = FormatCommError(failure.operation, failure.systemText, port);
    platform::ShowMessageBox("Application Error", text, platform::kMbIconError);
}

std::string ComPortDeviceName(int portNumber)
{
    return (portNumber <= 9 ? "COM" : "\\\\.\\COM") + std::to_string(portNumber);
}
