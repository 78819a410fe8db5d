// zelvan-workbook-reader: reads the configuration workbook in a process of
// its own for LoadWorkbook, so that a damaged file costs only this process.
#include <unistd.h>

#include "config/WorkbookLoader.h"

int main(int argc, char** argv)
{
    // The content is out; ending without exit handlers also spares the
    // caller a leak report about a damaged file's leftovers.
    ::_exit(RunWorkbookReader(argc, argv));
}
