#include "support/XlsReaders.h"
#include "export/XlsSpreadsheet.h"

#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A disk that takes `limit` bytes, then fails with `err` - or, with
// bKill, kills the whole process at that point, as a crash would.
class CFailingFile : public CAtomicFile {
public:
    CFailingFile(std::size_t limit, int err, bool kill) : m_nLimit(limit), m_nErr(err), m_bKill(kill) {}

protected:
    long WriteSome(int fd, const void* data, std::size_t size) override
    {
        if (m_nWritten >= m_nLimit) {
            if (m_bKill)
                ::raise(SIGKILL);
            errno = m_nErr;
            return -1;
        }
        const std::size_t n = std::min(size, m_nLimit - m_nWritten);
        const long done = CAtomicFile::WriteSome(fd, data, n);
        if (done > 0)
            m_nWritten += static_cast<std::size_t>(done);
        return done;
    }

private:
    std::size_t m_nLimit;
    std::size_t m_nWritten = 0;
    int m_nErr;
    bool m_bKill;
};

// The real spreadsheet, saving through a failing disk.
class CFailingSpreadsheet : public CXlsSpreadsheet {
public:
    CFailingSpreadsheet(std::size_t limit, int err, bool kill) : m_nLimit(limit), m_nErr(err), m_bKill(kill) {}
    std::unique_ptr<CAtomicFile> CreateFile() override
    {
        return std::make_unique<CFailingFile>(m_nLimit, m_nErr, m_bKill);
    }

private:
    std::size_t m_nLimit;
    int m_nErr;
    bool m_bKill;
};

// Rows of numbers big enough for a file of a few hundred kilobytes.
void Fill(ISpreadsheet& s, const std::string& a1, int rows)
{
    s.NewWorkbook();
    s.FirstSheet();
    s.SetCell("A1", a1);
    for (int r = 2; r <= rows; ++r)
        for (char c = 'A'; c <= 'N'; ++c)
            s.SetCell(std::string(1, c) + std::to_string(r), std::to_string(r * 100 + (c - 'A')) + ".5");
}

std::string A1Of(const std::string& path)
{
    const auto cells = ReadWithXlrd(path);
    if (!cells || !cells->count({0, 0}))
        return "<unreadable>";
    return cells->at({0, 0}).strText;
}

} // namespace

TEST(AtomicSave, NewFileReplacesTheOldOneWithNothingLeftBeside)
{
    const CTempFolder folder;
    const std::string path = folder.File("day.xls");
    for (const char* version : {"first", "second"}) {
        CXlsSpreadsheet s;
        Fill(s, version, 50);
        const CSaveResult r = s.SaveAs(path);
        ASSERT_TRUE(r.bOk) << r.strError;
        EXPECT_EQ(A1Of(path), version);
        EXPECT_EQ(CountEntries(folder.Path()), 1u) << "a temporary file was left behind";
    }
    // An ordinary file, as the process's umask allows.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    struct stat st{};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

// A failure in the middle of the data - a full disk, an I/O error - keeps the
// previous workbook whole and says why.
TEST(AtomicSave, FailureHalfwayKeepsThePreviousFileAndSaysWhy)
{
    const CTempFolder folder;
    const std::string path = folder.File("day.xls");
    CXlsSpreadsheet good;
    Fill(good, "good", 400);
    ASSERT_TRUE(good.SaveAs(path).bOk);
    struct stat before{};
    ::stat(path.c_str(), &before);

    for (const auto& [err, text] : {std::pair{ENOSPC, "No space left on device"}, std::pair{EIO, "Input/output error"}}) {
        CFailingSpreadsheet bad(static_cast<std::size_t>(before.st_size) / 2, err, false);
        Fill(bad, "bad", 400);
        const CSaveResult r = bad.SaveAs(path);
        EXPECT_FALSE(r.bOk);
        EXPECT_NE(r.strError.find(text), std::string::npos) << r.strError;
        EXPECT_NE(r.strError.find(path), std::string::npos) << r.strError;
        EXPECT_EQ(A1Of(path), "good");
        EXPECT_EQ(CountEntries(folder.Path()), 1u) << "the half-written temporary was not removed";
    }
}

// A process killed in the middle of a save leaves the previous workbook as
// it was (a stray temporary may stay; it never carries the target's name).
TEST(AtomicSave, KillHalfwayKeepsThePreviousFile)
{
    const CTempFolder folder;
    const std::string path = folder.File("day.xls");
    CXlsSpreadsheet good;
    Fill(good, "good", 400);
    ASSERT_TRUE(good.SaveAs(path).bOk);
    struct stat before{};
    ::stat(path.c_str(), &before);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CFailingSpreadsheet bad(static_cast<std::size_t>(before.st_size) / 2, 0, true);
        Fill(bad, "bad", 400);
        bad.SaveAs(path);
        ::_exit(0); // not reached: the save kills the process
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    struct stat after{};
    ::stat(path.c_str(), &after);
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_EQ(A1Of(path), "good");
}

TEST(AtomicSave, UnwritableTargetsFailWithTheReason)
{
    const CTempFolder folder;
    CXlsSpreadsheet s;
    Fill(s, "x", 3);

    const std::string missing = folder.File("hisdata/day.xls");
    CSaveResult r = s.SaveAs(missing);
    EXPECT_FALSE(r.bOk);
    EXPECT_NE(r.strError.find("No such file or directory"), std::string::npos) << r.strError;
    EXPECT_FALSE(FileExists(missing));

    r = s.SaveAs(folder.Path()); // a folder, not a file
    EXPECT_FALSE(r.bOk);
    EXPECT_NE(r.strError.find("Is a directory"), std::string::npos) << r.strError;

    if (::geteuid() != 0) { // root writes anywhere
        const std::string locked = folder.File("locked");
        ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
        r = s.SaveAs(locked + "/day.xls");
        EXPECT_FALSE(r.bOk);
        EXPECT_NE(r.strError.find("Permission denied"), std::string::npos) << r.strError;
    }

    CXlsSpreadsheet none; // saving before any workbook exists
    EXPECT_FALSE(none.SaveAs(folder.File("none.xls")).bOk);
    EXPECT_FALSE(FileExists(folder.File("none.xls")));
}
