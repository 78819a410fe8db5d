// zelvan-sim: the simulated inverter on a pseudo-terminal or a serial device.
// All behaviour is in CInverterSim; this file only moves bytes between the
// line, the engine and the operator's console.
#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

#include "InverterSim.h"
#include "SimOptions.h"
#include "platform/WallClock.h"

namespace {

std::int64_t MonotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool MakeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

struct Line {
    int fd = -1;      // what we read and write
    int holdFd = -1;  // our own open of the pseudo-terminal's far side
    std::string path; // what the operator connects to
};

bool OpenPseudoTerminal(Line& line, std::string& error)
{
    line.fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (line.fd < 0 || grantpt(line.fd) != 0 || unlockpt(line.fd) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ptsname(line.fd);
    if (name == nullptr) {
        error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    line.path = name;
    // Holding the far side open keeps the line up while no program is
    // connected, and lets us set it raw before anyone opens it.
    line.holdFd = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (line.holdFd < 0 || !MakeRaw(line.holdFd)) {
        error = std::string("cannot set up ") + name + ": " + std::strerror(errno);
        return false;
    }
    MakeRaw(line.fd);
    fcntl(line.fd, F_SETFL, fcntl(line.fd, F_GETFL) | O_NONBLOCK);
    return true;
}

bool OpenDevice(Line& line, const std::string& path, std::string& error)
{
    line.path = path;
    line.fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (line.fd < 0 || !MakeRaw(line.fd)) {
        error = "cannot open " + path + " as a 9600 baud line: " + std::strerror(errno);
        return false;
    }
    return true;
}

struct Pending {
    std::int64_t dueMs;
    std::vector<std::uint8_t> bytes;
};

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    int stalls = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // Nobody reads the line (full buffer): the rest of the reply is lost,
        // as it would be on a wire with nobody listening.
        if (n < 0 && errno == EAGAIN && ++stalls < 20) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 5);
            continue;
        }
        return;
    }
}

void Say(const std::string& text)
{
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void CloseLine(Line& line)
{
    if (line.holdFd >= 0)
        close(line.holdFd);
    if (line.fd >= 0)
        close(line.fd);
    line.fd = line.holdFd = -1;
}

// The symbolic link to the pseudo-terminal, made afresh.
bool MakeLink(const std::string& link, const std::string& target)
{
    unlink(link.c_str()); // an old link from an earlier run
    if (symlink(target.c_str(), link.c_str()) == 0)
        return true;
    std::fprintf(stderr, "zelvan-sim: cannot make the link %s: %s\n", link.c_str(), std::strerror(errno));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    SimOptions options;
    std::string error;
    if (!ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "zelvan-sim: %s\n", error.c_str());
        return 2;
    }
    if (options.bHelp) {
        std::fputs(SimHelpText().c_str(), stdout);
        return 0;
    }

    Line line;
    if (!(options.strPort.empty() ? OpenPseudoTerminal(line, error) : OpenDevice(line, options.strPort, error))) {
        std::fprintf(stderr, "zelvan-sim: %s\n", error.c_str());
        return 1;
    }
    bool linkMade = false;
    if (!options.strLink.empty()) {
        if (!MakeLink(options.strLink, line.path))
            return 1;
        linkMade = true;
    }

    // SIGINT and SIGTERM are blocked and read from a descriptor the loop
    // polls, so a stop can never fall between a check and a wait. (A handler
    // writing to a pipe lost about one stop in forty under ThreadSanitizer,
    // which defers handlers to its own later calls.)
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    const int stopFd = sigprocmask(SIG_BLOCK, &stopSignals, nullptr) == 0
                           ? signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK)
                           : -1;
    if (stopFd < 0) {
        std::perror("zelvan-sim: signalfd");
        if (linkMade)
            unlink(options.strLink.c_str());
        return 1;
    }
    std::signal(SIGPIPE, SIG_IGN);

    if (!options.bStartGiven) {
        const platform::LocalTime now = platform::ToLocal(platform::WallNow());
        options.time.dStartSecondOfDay = now.nHour * 3600.0 + now.nMinute * 60.0 + now.nSecond;
    }
    CInverterSim sim(options.identity, options.time, MonotonicMs());
    sim.Faults() = options.faults;
    sim.SetTurnaroundMs(options.nTurnaroundMs);

    Say(line.path); // the first line: where to connect
    std::fprintf(stderr, "zelvan-sim: protocol %d, address %d, serial %012llu, model code 0x%llx (%d W), %s\n",
                 sim.ProtocolType(), sim.Address(), static_cast<unsigned long long>(sim.Serial()),
                 static_cast<unsigned long long>(sim.ModelCode()), sim.RatedWatts(),
                 options.identity.strVersion.c_str());

    std::deque<Pending> pending;
    std::string console;
    bool stdinOpen = true;
    std::int64_t plugInAtMs = -1; // unplugged until then
    for (;;) {
        if (plugInAtMs >= 0 && MonotonicMs() >= plugInAtMs) {
            plugInAtMs = -1;
            if (!OpenPseudoTerminal(line, error)) {
                std::fprintf(stderr, "zelvan-sim: %s\n", error.c_str());
                break;
            }
            if (linkMade && !MakeLink(options.strLink, line.path))
                break; // MakeLink said why
        }
        const std::int64_t now = MonotonicMs();
        int timeout = -1;
        if (!pending.empty())
            timeout = static_cast<int>(std::max<std::int64_t>(0, pending.front().dueMs - now));
        if (plugInAtMs >= 0 && (timeout < 0 || plugInAtMs - now < timeout))
            timeout = static_cast<int>(std::max<std::int64_t>(0, plugInAtMs - now));
        pollfd fds[3] = {{stopFd, POLLIN, 0}, {line.fd, POLLIN, 0}, {stdinOpen ? 0 : -1, POLLIN, 0}};
        const int rc = poll(fds, 3, timeout);
        if (rc < 0 && errno != EINTR) {
            std::perror("zelvan-sim: poll");
            break;
        }
        if (fds[0].revents & POLLIN)
            break;
        if (fds[1].revents & POLLIN) {
            std::uint8_t buf[512];
            const ssize_t n = read(line.fd, buf, sizeof buf);
            if (n > 0) {
                const std::int64_t at = MonotonicMs();
                for (SimReply& r : sim.Receive(buf, static_cast<std::size_t>(n), at)) {
                    // Keep the order of the pieces even if a later one has a shorter delay.
                    std::int64_t due = at + r.nDelayMs;
                    if (!pending.empty())
                        due = std::max(due, pending.back().dueMs);
                    pending.push_back({due, std::move(r.bytes)});
                }
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            if (!options.strPort.empty()) {
                std::fprintf(stderr, "zelvan-sim: the line %s went away\n", line.path.c_str());
                break;
            }
            poll(nullptr, 0, 50); // a pseudo-terminal with nobody on it: wait for one
        }
        if (fds[2].revents & (POLLIN | POLLHUP)) {
            char buf[256];
            const ssize_t n = read(0, buf, sizeof buf);
            if (n <= 0) {
                stdinOpen = false; // keep serving without a console
            } else {
                console.append(buf, static_cast<std::size_t>(n));
                for (std::size_t eol; (eol = console.find('\n')) != std::string::npos;) {
                    std::string command = console.substr(0, eol);
                    console.erase(0, eol + 1);
                    std::string answer;
                    int unplugMs = 0;
                    if (sim.AnswerGetCommand(command, answer)) {
                        // a register read: answered
                    } else if (ParseUnplugCommand(command, unplugMs, answer)) {
                        if (unplugMs >= 0 && !options.strPort.empty()) {
                            answer = "error: unplug needs a pseudo-terminal, not --port";
                        } else if (unplugMs >= 0) {
                            // What was on its way is lost with the cable.
                            pending.clear();
                            CloseLine(line);
                            if (linkMade)
                                unlink(options.strLink.c_str());
                            plugInAtMs = MonotonicMs() + unplugMs;
                            answer = "ok unplugged for " + std::to_string(unplugMs) + " ms";
                        }
                    } else {
                        ApplySimCommand(command, sim.Faults(), answer);
                    }
                    if (!answer.empty())
                        Say(answer);
                }
                if (console.size() > 4096)
                    console.clear();
            }
        }
        const std::int64_t after = MonotonicMs();
        while (!pending.empty() && pending.front().dueMs <= after) {
            WriteAll(line.fd, pending.front().bytes);
            pending.pop_front();
        }
    }

    if (linkMade)
        unlink(options.strLink.c_str());
    CloseLine(line);
    std::fprintf(stderr, "zelvan-sim: stopped\n");
    return 0;
}
