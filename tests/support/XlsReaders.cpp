#include "support/XlsReaders.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <freexl.h>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* kScript = ZELVAN_SOURCE_DIR "/tests/export/read_xls.py";

std::string Run(const std::string& command)
{
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0)
        out.append(buf, n);
    const int status = ::pclose(p);
    if (status != 0)
        ADD_FAILURE() << command << " exited with " << status;
    return out;
}

std::string Unhex(const std::string& hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

} // namespace

SReadCell TextCell(const std::string& text)
{
    SReadCell c;
    c.bText = true;
    c.strText = text;
    return c;
}

SReadCell NumberCell(double value)
{
    SReadCell c;
    c.dNumber = value;
    return c;
}

std::string Describe(const SReadCell& c)
{
    std::ostringstream s;
    s.precision(17);
    if (c.bText)
        s << "text \"" << c.strText << "\"";
    else
        s << "number " << c.dNumber;
    return s.str();
}

std::optional<CellMap> ReadWithXlrd(const std::string& path)
{
    const std::string out = Run("/usr/bin/python3 " + std::string(kScript) + " cells '" + path + "'");
    std::istringstream in(out);
    std::string word;
    if (!(in >> word) || word != "sheets") {
        ADD_FAILURE() << "xlrd could not read " << path;
        return std::nullopt;
    }
    int sheets = 0, rows = 0, cols = 0;
    in >> sheets >> rows >> cols;
    EXPECT_EQ(sheets, 1);
    CellMap cells;
    int r, c;
    std::string kind, value;
    while (in >> r >> c >> kind >> value) {
        if (kind == "T")
            cells[{r, c}] = TextCell(Unhex(value));
        else if (kind == "N")
            cells[{r, c}] = NumberCell(std::strtod(value.c_str(), nullptr));
        else
            ADD_FAILURE() << "unexpected cell kind at " << r << "," << c << ": " << value;
    }
    return cells;
}

std::optional<CellMap> ReadWithFreeXl(const std::string& path)
{
    const void* handle = nullptr;
    if (freexl_open(path.c_str(), &handle) != FREEXL_OK) {
        ADD_FAILURE() << "FreeXL could not open " << path;
        return std::nullopt;
    }
    CellMap cells;
    unsigned int sheets = 0;
    freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheets);
    EXPECT_EQ(sheets, 1u);
    unsigned int rows = 0;
    unsigned short cols = 0;
    if (freexl_select_active_worksheet(handle, 0) != FREEXL_OK ||
        freexl_worksheet_dimensions(handle, &rows, &cols) != FREEXL_OK) {
        ADD_FAILURE() << "FreeXL could not read the sheet of " << path;
        freexl_close(handle);
        return std::nullopt;
    }
    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < cols; ++c) {
            FreeXL_CellValue v;
            if (freexl_get_cell_value(handle, r, c, &v) != FREEXL_OK) {
                ADD_FAILURE() << "FreeXL cell " << r << "," << c;
                continue;
            }
            switch (v.type) {
            case FREEXL_CELL_NULL: break;
            case FREEXL_CELL_INT: cells[{int(r), int(c)}] = NumberCell(v.value.int_value); break;
            case FREEXL_CELL_DOUBLE: cells[{int(r), int(c)}] = NumberCell(v.value.double_value); break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT: cells[{int(r), int(c)}] = TextCell(v.value.text_value); break;
            default: ADD_FAILURE() << "FreeXL cell type " << v.type << " at " << r << "," << c;
            }
        }
    }
    freexl_close(handle);
    return cells;
}

std::string XlrdStreamDigest(const std::string& path)
{
    std::string out = Run("/usr/bin/python3 " + std::string(kScript) + " stream '" + path + "'");
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

std::string Sha256Line(const std::uint8_t* data, std::size_t size)
{
    const CTempFolder folder;
    const std::string file = folder.File("raw");
    FILE* f = std::fopen(file.c_str(), "wb");
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
    std::string out = Run("/usr/bin/python3 -c \"import hashlib,sys; d=open(sys.argv[1],'rb').read(); "
                          "print(len(d), hashlib.sha256(d).hexdigest())\" '" +
                          file + "'");
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

CTempFolder::CTempFolder()
{
    const char* base = std::getenv("TMPDIR");
    m_strPath = std::string(base && *base ? base : "/tmp") + "/zelvan-export-XXXXXX";
    if (!::mkdtemp(m_strPath.data()))
        ADD_FAILURE() << "mkdtemp failed";
}

CTempFolder::~CTempFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(m_strPath, ec);
}

bool FileExists(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

std::size_t CountEntries(const std::string& folder)
{
    std::size_t n = 0;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                ++n;
        ::closedir(d);
    }
    return n;
}
