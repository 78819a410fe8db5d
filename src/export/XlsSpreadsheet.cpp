#include "export/XlsSpreadsheet.h"

#include "export/CompoundFile.h"

#include <charconv>

bool ParseCellName(std::string_view name, int& row, int& col)
{
    std::size_t i = 0;
    int c = 0;
    while (i < name.size() && i < 3) {
        char ch = name[i];
        if (ch >= 'a' && ch <= 'z')
            ch = static_cast<char>(ch - 'a' + 'A');
        if (ch < 'A' || ch > 'Z')
            break;
        c = c * 26 + (ch - 'A' + 1);
        ++i;
    }
    if (i == 0 || c > CXlsWorkbook::kMaxColumns)
        return false;
    if (i == name.size() || name[i] < '1' || name[i] > '9')
        return false;
    int r = 0;
    for (; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return false;
        r = r * 10 + (name[i] - '0');
        if (r > CXlsWorkbook::kMaxRows)
            return false;
    }
    row = r - 1;
    col = c - 1;
    return true;
}

std::optional<double> PlainDecimal(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    const std::size_t start = i;
    if (i < text.size() && text[i] == '-')
        ++i;
    const std::size_t intStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    if (i == intStart)
        return std::nullopt;
    if (i < text.size() && text[i] == '.') {
        const std::size_t fracStart = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        if (i == fracStart)
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data() + start, text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt; // beyond the range of a double: stays text
    return value;
}

bool CXlsSpreadsheet::NewWorkbook()
{
    m_workbook.emplace();
    m_bSheet = false;
    return true;
}

bool CXlsSpreadsheet::FirstSheet()
{
    m_bSheet = m_workbook.has_value();
    return m_bSheet;
}

namespace {

// A plain decimal as digits and the count of them after the point, when
// the digits fit 15 places (anything longer goes the slow way).
bool SplitDecimal(std::string_view text, std::int64_t& mantissa, int& decimals)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    const bool negative = i < text.size() && text[i] == '-';
    i += negative ? 1 : 0;
    std::int64_t m = 0;
    int digits = 0, fraction = -1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (++digits > 15)
                return false;
            m = m * 10 + (c - '0');
            if (fraction >= 0)
                ++fraction;
        } else if (c == '.' && fraction < 0 && digits > 0) {
            fraction = 0;
        } else {
            return false;
        }
    }
    if (digits == 0 || fraction == 0)
        return false;
    mantissa = negative ? -m : m;
    decimals = fraction < 0 ? 0 : fraction;
    return true;
}

} // namespace

bool CXlsSpreadsheet::SetCell(std::string_view cell, std::string_view text)
{
    int row = 0, col = 0;
    if (!m_bSheet || !ParseCellName(cell, row, col))
        return false;
    std::int64_t mantissa = 0;
    int decimals = 0;
    if (SplitDecimal(text, mantissa, decimals) && m_workbook->SetDecimal(row, col, mantissa, decimals))
        return true;
    if (const auto number = PlainDecimal(text))
        return m_workbook->SetNumber(row, col, *number);
    return m_workbook->SetText(row, col, text);
}

std::unique_ptr<CAtomicFile> CXlsSpreadsheet::CreateFile()
{
    return std::make_unique<CAtomicFile>();
}

CSaveResult CXlsSpreadsheet::SaveAs(const std::string& path)
{
    CSaveResult result;
    const std::string what = "Couldn't save \"" + path + "\": ";
    if (!m_workbook) {
        result.strError = what + "no workbook";
        return result;
    }
    const CByteBuffer stream = m_workbook->BuildStream();
    std::unique_ptr<CAtomicFile> file = CreateFile();
    if (!file->Open(path)) {
        result.strError = what + file->Error();
        return result;
    }
    const bool written = CCompoundFile::Write("Workbook", stream.data(), stream.size(),
                                              [&](const void* p, std::size_t n) { return file->Write(p, n); });
    if (!written || !file->Commit()) {
        result.strError = what + (file->Error().empty() ? std::string("the workbook is too large") : file->Error());
        file->Abandon();
        return result;
    }
    result.bOk = true;
    return result;
}

void CXlsSpreadsheet::Quit()
{
    m_workbook.reset();
    m_bSheet = false;
}

std::unique_ptr<ISpreadsheet> StartXlsSpreadsheet()
{
    return std::make_unique<CXlsSpreadsheet>();
}
