// A port the user may not open: detection names the cure under the port's
// line, shows no box, and goes on to the next port of the list.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "support/PtyPair.h"
#include "link/PowerViewLink.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"

namespace {

// The detection over `ports` with the dialog played by this thread; true
// when the lines are as expected and no box came.
bool DetectionNamesTheMissingPermission(const std::string& ports, const std::string& locked)
{
    platform::CMessageBoxRecorder boxes;
    platform::CMessageQueue queue;
    CPowerViewLink view(queue);
    std::mutex lock;
    std::vector<std::string> lines;
    bool bEnded = false;
    SPowerViewHooks hooks;
    hooks.postDetectionLine = [&](const std::string& s) {
        std::lock_guard<std::mutex> guard(lock);
        lines.push_back(s);
    };
    hooks.endDetectionDialog = [&] { bEnded = true; };
    hooks.runDetectionDialog = [&] {
        view.SetDetectionDialogAlive(true);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            {
                std::lock_guard<std::mutex> guard(lock);
                if (!lines.empty() && lines.back() == "Detecting End")
                    break;
            }
            if (bEnded || std::chrono::steady_clock::now() > deadline)
                break;
            if (auto m = queue.Take(20); m && m->msg == platform::WM_LINK_LOST)
                view.OnLinkLost(m->wParam, m->lParam);
        }
        view.SetDetectionDialogAlive(false);
    };
    view.SetHooks(std::move(hooks));
    ::setenv("ZELVAN_SERIAL_PORTS", ports.c_str(), 1);
    if (!view.StartPollThread())
        return false;
    view.OnRescanPorts();
    view.StopPollThread();

    std::lock_guard<std::mutex> guard(lock);
    const auto at = std::find(lines.begin(), lines.end(), "Detecting " + locked);
    const bool bOk =
        at != lines.end() && at + 1 != lines.end() &&
        at[1].find("No permission to open this port: add your user to the group \"dialout\"") != std::string::npos &&
        std::find(lines.begin(), lines.end(), "Detecting /dev/null-missing") != lines.end() && !view.IsConnected() &&
        boxes.Count() == 0;
    if (!bOk)
        for (const std::string& l : lines)
            std::fprintf(stderr, "line: %s\n", l.c_str());
    return bOk;
}

} // namespace

TEST(PortPermission, DetectionNamesTheGroupToJoinWithoutABox)
{
    CPtyPair pty;
    ASSERT_FALSE(pty.SlavePath().empty());
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0), 0);
    const std::string ports = pty.SlavePath() + ":/dev/null-missing";
    if (::geteuid() != 0) {
        EXPECT_TRUE(DetectionNamesTheMissingPermission(ports, pty.SlavePath()));
        return;
    }
    // Root opens anything: the detection runs in a child without its rights.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool bDropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(bDropped && DetectionNamesTheMissingPermission(ports, pty.SlavePath()) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "see the child's lines above";
}
