// The workbook loader's parent side: whatever the reader program answers,
// the result is either a complete workbook for the requests or an open
// error that the program reports in its box; never something in between.
#include <string>

#include "FuzzSupport.h"
#include "config/WorkbookLoader.h"

namespace {
const char* const kColumns[] = {"Parameter", "min", "max"};
const SSheetRequest kRequests[] = {{"tester-parset", kColumns, 3}, {"tester-modelcode", kColumns, 2}};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string answer(reinterpret_cast<const char*>(data), size);
    SWorkbookContent content;
    if (!DecodeReaderAnswer(answer, kRequests, content))
        return 0; // reported as a missing or damaged workbook
    if (content.openResult != 0) {
        FUZZ_CHECK(content.sheets.empty());
        return 0;
    }
    FUZZ_CHECK(content.sheets.size() == std::size(kRequests));
    for (std::size_t s = 0; s < content.sheets.size(); ++s) {
        const SSheetContent& sheet = content.sheets[s];
        FUZZ_CHECK(sheet.columns.size() == static_cast<std::size_t>(kRequests[s].columnCount));
        for (const auto& column : sheet.columns)
            FUZZ_CHECK(column.size() == sheet.rowWidths.size());
        for (int width : sheet.rowWidths)
            FUZZ_CHECK(width >= 0 && width <= kRequests[s].columnCount);
    }
    return 0;
}
