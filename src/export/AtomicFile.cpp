#include "export/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<unsigned> g_nextTemp{0};

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

CAtomicFile::~CAtomicFile()
{
    Abandon();
}

bool CAtomicFile::Open(const std::string& path)
{
    Abandon();
    m_strError.clear();
    m_strPath = path;
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) {
        m_strError = "no file name";
        return false;
    }
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        m_strError = std::strerror(EISDIR);
        return false;
    }
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    // A hidden name beside the target, unique per process and attempt; the
    // usual permissions (0666 less the umask) as for any new file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_strTemp = folder + "." + name + ".tmp" + std::to_string(::getpid()) + "-" +
                    std::to_string(g_nextTemp.fetch_add(1));
        m_fd = ::open(m_strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    const int err = errno;
    m_strTemp.clear();
    m_strError = std::strerror(err);
    return false;
}

long CAtomicFile::WriteSome(int fd, const void* data, std::size_t size)
{
    return static_cast<long>(::write(fd, data, size));
}

bool CAtomicFile::Write(const void* data, std::size_t size)
{
    if (m_fd < 0) {
        if (m_strError.empty())
            m_strError = "file not open";
        return false;
    }
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const long n = WriteSome(m_fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
                    m_strError = std::strerror(errno);
            return false;
        }
        if (n == 0) {
            m_strError = std::strerror(ENOSPC);
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool CAtomicFile::Commit()
{
    if (m_fd < 0 || !m_strError.empty()) {
        if (m_strError.empty())
            m_strError = "file not open";
        Abandon();
        return false;
    }
    // Data on disk before the name points at it, so that even a power cut
    // leaves either the old file or the complete new one.
    if (::fsync(m_fd) != 0) {
        m_strError = std::strerror(errno);
        Abandon();
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        m_strError = std::strerror(errno);
        Abandon();
        return false;
    }
    if (::rename(m_strTemp.c_str(), m_strPath.c_str()) != 0) {
        m_strError = std::strerror(errno);
        Abandon();
        return false;
    }
    m_strTemp.clear();
    const int dir = ::open(FolderOf(m_strPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir); // makes the rename itself durable; the file is complete either way
        ::close(dir);
    }
    return true;
}

void CAtomicFile::Abandon()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_strTemp.empty()) {
        ::unlink(m_strTemp.c_str());
        m_strTemp.clear();
    }
}
