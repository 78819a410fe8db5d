#pragma once
// A pseudo-terminal pair for tests: the code under test opens SlavePath()
// like a serial device; the test plays the far end through the master.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

class CPtyPair {
public:
    using Bytes = std::vector<std::uint8_t>;

    // keepSlaveOpen holds one raw slave descriptor for the pair's life, so
    // the master never sees a hang-up while the code under test closes and
    // reopens the device, and nothing is echoed before it configures it.
    explicit CPtyPair(bool keepSlaveOpen = true)
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        char name[128] = {};
        if (::ptsname_r(m_master, name, sizeof name) != 0)
            return;
        m_slavePath = name;
        const int flags = ::fcntl(m_master, F_GETFL);
        ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
        const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave >= 0) {
            termios tio{};
            ::tcgetattr(slave, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(slave, TCSANOW, &tio);
            if (keepSlaveOpen)
                m_slave = slave;
            else
                ::close(slave);
        }
    }
    ~CPtyPair()
    {
        CloseMaster();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    CPtyPair(const CPtyPair&) = delete;
    CPtyPair& operator=(const CPtyPair&) = delete;

    bool Ok() const { return m_master >= 0 && !m_slavePath.empty(); }
    const std::string& SlavePath() const { return m_slavePath; }
    int MasterFd() const { return m_master; }

    // Closing the master is the far end going away: the slave hangs up.
    void CloseMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }
    void ReleaseSlave()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        m_slave = -1;
    }

    bool Write(const Bytes& bytes) const
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd out{m_master, POLLOUT, 0};
                ::poll(&out, 1, 100);
            } else {
                return false;
            }
        }
        return true;
    }

    // Reads until `count` bytes have come or `timeoutMs` has passed.
    Bytes Read(std::size_t count, int timeoutMs) const
    {
        Bytes bytes;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (bytes.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd in{m_master, POLLIN, 0};
            if (::poll(&in, 1, static_cast<int>(left.count())) <= 0)
                continue;
            std::uint8_t buffer[512];
            const ssize_t n = ::read(m_master, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (n > 0)
                bytes.insert(bytes.end(), buffer, buffer + n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
        }
        return bytes;
    }

    // Reads whatever arrives until the line has been quiet for `quietMs`.
    Bytes ReadUntilQuiet(int quietMs) const
    {
        Bytes bytes;
        for (;;) {
            pollfd in{m_master, POLLIN, 0};
            if (::poll(&in, 1, quietMs) <= 0)
                return bytes;
            std::uint8_t buffer[512];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0)
                bytes.insert(bytes.end(), buffer, buffer + n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return bytes;
        }
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};
