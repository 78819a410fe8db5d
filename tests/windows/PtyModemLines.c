/* Test fixture for running the Windows serial tests under Wine, loaded with
 * LD_PRELOAD into the Wine processes (never part of the program).
 *
 * Wine reads and sets a COM port's modem lines with TIOCMGET/TIOCMSET (and
 * TIOCMBIS/TIOCMBIC); a pseudo-terminal has no modem lines and refuses them,
 * so WaitCommEvent fails. Here those requests succeed on a pseudo-terminal
 * with every line up; everything else goes to the real ioctl. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

typedef int (*IoctlFn)(int, unsigned long, ...);

/* Unix98 pseudo-terminal slaves (/dev/pts/N) have majors 136 to 143. */
static int IsPseudoTerminal(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...)
{
    static IoctlFn real;
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (!real) {
        void* symbol = dlsym(RTLD_NEXT, "ioctl");
        memcpy(&real, &symbol, sizeof real); /* POSIX: a data pointer may hold a function */
    }

    const int saved = errno;
    const int rc = real(fd, request, arg);
    if (rc == 0 || !IsPseudoTerminal(fd))
        return rc;
    switch (request) {
    case TIOCMGET:
        *(int*)arg = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        errno = saved;
        return 0;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
        errno = saved;
        return 0;
    default:
        return rc;
    }
}
