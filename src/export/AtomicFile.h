#pragma once
#include <cstddef>
#include <string>

// Writes a file so that it replaces the old one in one step: the bytes go to
// a temporary file in the same folder, which is flushed to disk and then
// renamed over the target. Until Commit succeeds the target is untouched, so
// a crash, a kill or a full disk in the middle of a save leaves the previous
// file whole. A temporary that is not committed is removed.
class CAtomicFile {
public:
    CAtomicFile() = default;
    virtual ~CAtomicFile();
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Creates the temporary beside `path`. False (with Error()) when the
    // folder is missing or not writable.
    [[nodiscard]] bool Open(const std::string& path);
    // Appends bytes; false (with Error()) on a write error such as a full disk.
    [[nodiscard]] bool Write(const void* data, std::size_t size);
    // Flushes, closes and renames the temporary over the target.
    [[nodiscard]] bool Commit();
    // Removes the temporary; the target stays as it was.
    void Abandon();

    const std::string& Error() const { return m_strError; }
    const std::string& TempPath() const { return m_strTemp; }

protected:
    // The system write, a seam for tests that simulate a failing disk or a
    // kill in the middle of the data. Returns bytes written or -1 with errno.
    virtual long WriteSome(int fd, const void* data, std::size_t size);

private:
    std::string m_strPath;
    std::string m_strTemp;
    std::string m_strError;
    int m_fd = -1;
};
