/* Test fixture: a serial device that opens but refuses its settings, as an
 * adapter pulled during the open does.
 *
 * tcsetattr() fails with EIO on a terminal that is marked by its window
 * size (rows = cols = 2989, set from the master side with TIOCSWINSZ or by
 * `stty -F PATH rows 2989 cols 2989`); every other call goes to the real
 * tcsetattr. Linked into the Linux link tests (a definition in the program
 * takes the place of the C library's) and preloaded into Wine by
 * scripts/test-windows. Never part of the program. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>

typedef int (*TcsetattrFn)(int, int, const struct termios*);

enum { kRefusingSize = 2989 };

static int IsMarked(int fd)
{
    struct winsize size;
    const int saved = errno;
    const int marked =
        ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_row == kRefusingSize && size.ws_col == kRefusingSize;
    errno = saved;
    return marked;
}

int tcsetattr(int fd, int action, const struct termios* settings)
{
    if (IsMarked(fd)) {
        errno = EIO;
        return -1;
    }
    /* Looked up on each call: nothing shared between threads. */
    TcsetattrFn real;
    void* symbol = dlsym(RTLD_NEXT, "tcsetattr");
    memcpy(&real, &symbol, sizeof real); /* POSIX: a data pointer may hold a function */
    return real(fd, action, settings);
}
