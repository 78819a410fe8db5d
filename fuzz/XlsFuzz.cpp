// The .xls writer: fuzzed cells are written to a file and read back cell by
// cell with FreeXL, an independent reader; every cell must come back as
// written. (FreeXL cannot read a text that spans more than one CONTINUE
// record, so texts stay below that.)
#include <freexl.h>
#include <unistd.h>

#include <cmath>
#include <map>
#include <string>

#include "FuzzSupport.h"
#include "export/CompoundFile.h"
#include "export/XlsWorkbook.h"

namespace {

struct SCell {
    bool bText = false;
    std::string strText;
    double dValue = 0;
};

std::string TempPath()
{
    static const std::string path = "/tmp/zelvan-xls-fuzz-" + std::to_string(::getpid()) + ".xls";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CFuzzInput in(data, size);
    CXlsWorkbook workbook;
    std::map<std::pair<int, int>, SCell> expected;
    while (!in.Empty() && expected.size() < 200) {
        const int row = in.Byte() % 40;
        const int col = in.Byte() % 12;
        const std::uint8_t kind = in.Byte();
        SCell cell;
        if (kind & 1) {
            std::size_t n = in.Byte() % 40;
            const std::uint8_t* p = in.Take(n);
            // Printable ASCII: what the program writes, and what the reader returns byte for byte.
            for (std::size_t i = 0; i < n; ++i)
                cell.strText += static_cast<char>(0x20 + p[i] % 0x5F);
            if (cell.strText.empty())
                continue;
            cell.bText = true;
            FUZZ_CHECK(workbook.SetText(row, col, cell.strText));
        } else {
            cell.dValue = in.Value<double>();
            if (!std::isfinite(cell.dValue))
                continue;
            FUZZ_CHECK(workbook.SetNumber(row, col, cell.dValue));
        }
        expected[{row, col}] = cell;
    }

    const CByteBuffer stream = workbook.BuildStream();
    std::FILE* file = std::fopen(TempPath().c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    const bool written = CCompoundFile::Write("Workbook", stream.data(), stream.size(), [file](const void* p, std::size_t n) {
        return std::fwrite(p, 1, n, file) == n;
    });
    std::fclose(file);
    FUZZ_CHECK(written);

    const void* handle = nullptr;
    FUZZ_CHECK(freexl_open(TempPath().c_str(), &handle) == FREEXL_OK);
    FUZZ_CHECK(freexl_select_active_worksheet(handle, 0) == FREEXL_OK);
    for (const auto& [place, cell] : expected) {
        FreeXL_CellValue v;
        FUZZ_CHECK(freexl_get_cell_value(handle, static_cast<unsigned>(place.first),
                                         static_cast<unsigned short>(place.second), &v) == FREEXL_OK);
        if (cell.bText) {
            FUZZ_CHECK(v.type == FREEXL_CELL_SST_TEXT || v.type == FREEXL_CELL_TEXT);
            FUZZ_CHECK(cell.strText == v.value.text_value);
        } else if (v.type == FREEXL_CELL_INT) {
            FUZZ_CHECK(static_cast<double>(v.value.int_value) == cell.dValue);
        } else {
            FUZZ_CHECK(v.type == FREEXL_CELL_DOUBLE);
            FUZZ_CHECK(v.value.double_value == cell.dValue);
        }
    }
    freexl_close(handle);
    std::remove(TempPath().c_str());
    return 0;
}
