// POSIX backend of CSerialPort: termios device, two event fds, and a port
// thread that waits with poll().
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "link/SerialPort.h"

namespace {

// A manual-reset event: readable while signalled. The descriptors live as
// long as the backend, so a late signal never hits a closed or reused fd.
class CEventFd {
public:
    CEventFd() : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~CEventFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CEventFd(const CEventFd&) = delete;
    CEventFd& operator=(const CEventFd&) = delete;

    int Fd() const { return m_fd; }
    void Set()
    {
        if (m_fd >= 0) {
            const eventfd_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(m_fd, &one, sizeof one);
        }
    }
    void Reset()
    {
        eventfd_t value = 0;
        if (m_fd >= 0) {
            [[maybe_unused]] const ssize_t n = ::read(m_fd, &value, sizeof value);
        }
    }

private:
    int m_fd;
};

class CPosixSerialBackend : public CSerialBackend {
public:
    explicit CPosixSerialBackend(CSerialPort& port) : m_port(port) {}
    ~CPosixSerialBackend() override { Close(); }

    bool Open(const std::string& portName) override
    {
        const int fd = ::open(portName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            m_nLastError = errno;
            return false;
        }
        // Exclusive use, as an unshared open is on Windows: TIOCEXCL keeps
        // out other openers, the lock also cooperating ones running as root.
        int error = 0;
        if (!::isatty(fd))
            error = ENOTTY;
        else if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0)
            error = errno;
        if (error != 0) {
            m_nLastError = error;
            ::close(fd);
            return false;
        }
        m_fd = fd;
        m_bFailed = false;
        return true;
    }

    std::optional<SCommFailure> Configure() override
    {
        ::tcflush(m_fd, TCIOFLUSH);
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0)
            return Failure("GetCommState()", errno);
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B9600);
        ::cfsetospeed(&tio, B9600);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
        tio.c_cc[VMIN] = 0; // a read returns at once with what is there
        tio.c_cc[VTIME] = 0;
        if (::tcsetattr(m_fd, TCSANOW, &tio) != 0)
            return Failure("SetCommState()", errno);
        // RTS and DTR on; a pseudo-terminal has no modem lines, which is fine.
        int lines = TIOCM_RTS | TIOCM_DTR;
        ::ioctl(m_fd, TIOCMBIS, &lines);
        ::tcflush(m_fd, TCIOFLUSH);
        return std::nullopt;
    }

    bool IsOpen() const override { return m_fd >= 0; }

    void Close() override
    {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

    void ResetEvents() override
    {
        m_write.Reset();
        m_shutdown.Reset();
    }
    void SignalWrite() override { m_write.Set(); }
    void SignalShutdown() override { m_shutdown.Set(); }

    void RunPortThread() override
    {
        if (m_fd >= 0)
            ::tcflush(m_fd, TCIOFLUSH);
        for (;;) {
            // In this order of precedence: write event, shutdown event, port.
            // A failed port is left out until it is reopened, so the thread
            // neither spins on it nor reports it twice.
            pollfd fds[3] = {
                {m_write.Fd(), POLLIN, 0}, {m_shutdown.Fd(), POLLIN, 0}, {m_bFailed ? -1 : m_fd, POLLIN, 0}};
            const int ready = ::poll(fds, 3, -1);
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                Report("WaitCommEvent()", errno);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                continue;
            }
            if (fds[0].revents & POLLIN) {
                m_write.Reset();
                TransmitSendBuffer();
                continue;
            }
            if (fds[1].revents & POLLIN)
                return;
            const short port = fds[2].revents;
            if (port & (POLLHUP | POLLERR | POLLNVAL)) {
                // Device gone (unplugged, far end closed): take what is
                // left, then report it once for this opening.
                ReceivePending();
                Fail("WaitCommEvent()", EIO);
            } else if ((port & POLLIN) && !ReceivePending()) {
                Fail("ReadFile()", m_nReadError);
            }
        }
    }

    std::string LastErrorText() const override { return ErrorText(m_nLastError.load()); }
    bool AccessDenied() const override
    {
        const int error = m_nLastError.load();
        return error == EACCES || error == EPERM;
    }

private:
    static std::string ErrorText(int error)
    {
        char buffer[256];
        return ::strerror_r(error, buffer, sizeof buffer);
    }

    static SCommFailure Failure(const char* operation, int error) { return {operation, ErrorText(error)}; }

    void Report(const char* operation, int error)
    {
        m_nLastError = error;
        m_port.ReportCommError(operation);
    }

    // The port is left out of the wait until it is reopened.
    void Fail(const char* operation, int error)
    {
        m_bFailed = true;
        m_port.MarkFailed();
        Report(operation, error != 0 ? error : EIO);
    }

    void TransmitSendBuffer()
    {
        std::uint8_t frame[CSerialPort::kSendBufferSize];
        const std::size_t length = m_port.TakeSendBuffer(frame, sizeof frame);
        if (length == 0 || m_fd < 0 || m_bFailed)
            return;
        // A new request replaces whatever of the last one is still queued.
        ::tcflush(m_fd, TCOFLUSH);
        // The write time-out: 50 ms plus 5 ms per byte; what is left then is dropped.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(50 + 5 * length);
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n = ::write(m_fd, frame + done, length - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN) {
                Report("WriteFile()", errno);
                return;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return;
            pollfd out{m_fd, POLLOUT, 0};
            ::poll(&out, 1, static_cast<int>(left.count()));
        }
    }

    // Hands every byte that has arrived to the port; false on a read error.
    // With VMIN = VTIME = 0 an empty queue reads as 0 bytes; a hang-up
    // shows in the wait as POLLHUP.
    bool ReceivePending()
    {
        std::uint8_t bytes[256];
        for (;;) {
            const ssize_t n = ::read(m_fd, bytes, sizeof bytes);
            if (n > 0) {
                for (ssize_t i = 0; i < n; ++i)
                    m_port.OnReceiveByte(bytes[i]);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0 || errno == EAGAIN)
                return true;
            m_nReadError = errno;
            return false;
        }
    }

    CSerialPort& m_port;
    int m_fd = -1;
    CEventFd m_write;
    CEventFd m_shutdown;
    std::atomic<int> m_nLastError{0};
    int m_nReadError = 0;
    bool m_bFailed = false; // the port failed under the thread in this opening
};

} // namespace

std::unique_ptr<CSerialBackend> CreateSerialBackend(CSerialPort& port)
{
    return std::make_unique<CPosixSerialBackend>(port);
}
