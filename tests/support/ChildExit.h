#pragma once
// Waiting for a child process the tests started.
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

// Waits up to timeoutMs for the child `pid` to end and reaps it (pid becomes
// -1): its exit status, or -1 on a crash or when it did not end in time. It
// returns as soon as the child has ended; the limit only catches one that
// never does.
inline int WaitForChildExit(pid_t& pid, int timeoutMs)
{
    for (int waited = 0; waited <= timeoutMs; waited += 10) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        ::usleep(10000);
    }
    return -1;
}
