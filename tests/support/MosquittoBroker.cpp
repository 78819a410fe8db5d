#include "support/MosquittoBroker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

bool Accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

bool Run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

CMosquittoBroker::CMosquittoBroker(SBrokerOptions options) : m_options(std::move(options))
{
    char name[] = "/tmp/zelvan-broker-XXXXXX";
    if (::mkdtemp(name))
        m_strFolder = name;
    m_nPort = FreePort();
    if (!m_options.strUser.empty()) {
        WriteFile("passwd", "", 0600);
        Run("mosquitto_passwd -b '" + m_strFolder + "/passwd' '" + m_options.strUser + "' '" + m_options.strPassword + "'");
    }
    if (m_options.bTls) {
        MakeCa(m_strFolder, "ca");
        MakeServerCertificate(m_strFolder, "ca");
    }
}

CMosquittoBroker::~CMosquittoBroker()
{
    Stop();
    std::error_code ec;
    if (!m_strFolder.empty())
        std::filesystem::remove_all(m_strFolder, ec);
}

bool CMosquittoBroker::MakeCa(const std::string& folder, const std::string& prefix)
{
    const std::string p = folder + "/" + prefix;
    return Run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=zelvan-test-" +
               prefix + " -keyout '" + p + ".key' -out '" + p + ".crt'");
}

bool CMosquittoBroker::MakeServerCertificate(const std::string& folder, const std::string& caPrefix)
{
    const std::string f = folder + "/";
    std::ofstream(f + "server.ext") << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
    return Run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=localhost -keyout '" + f +
               "server.key' -out '" + f + "server.csr'") &&
           Run("openssl x509 -req -days 2 -in '" + f + "server.csr' -CA '" + f + caPrefix + ".crt' -CAkey '" + f +
               caPrefix + ".key' -CAcreateserial -extfile '" + f + "server.ext' -out '" + f + "server.crt'");
}

std::string CMosquittoBroker::WriteFile(const std::string& name, const std::string& text, mode_t mode) const
{
    const std::string path = m_strFolder + "/" + name;
    std::ofstream(path, std::ios::trunc) << text;
    ::chmod(path.c_str(), mode);
    return path;
}

bool CMosquittoBroker::WriteConfig() const
{
    std::ostringstream conf;
    conf << "listener " << m_nPort << " 127.0.0.1\n";
    conf << "persistence false\n";
    // Started as root, the broker would switch to its own user, who cannot
    // read this folder.
    if (const passwd* pw = ::getpwuid(::geteuid()))
        conf << "user " << pw->pw_name << "\n";
    if (m_options.strUser.empty()) {
        conf << "allow_anonymous true\n";
    } else {
        conf << "allow_anonymous false\n";
        conf << "password_file " << m_strFolder << "/passwd\n";
    }
    if (m_options.bTls) {
        conf << "cafile " << m_strFolder << "/ca.crt\n";
        conf << "certfile " << m_strFolder << "/server.crt\n";
        conf << "keyfile " << m_strFolder << "/server.key\n";
    }
    WriteFile("mosquitto.conf", conf.str());
    return true;
}

bool CMosquittoBroker::Start()
{
    if (m_pid > 0)
        return true;
    if (m_strFolder.empty() || m_nPort == 0 || !WriteConfig())
        return false;
    const std::string conf = m_strFolder + "/mosquitto.conf";
    const std::string log = m_strFolder + "/broker.log";
    m_pid = ::fork();
    if (m_pid == 0) {
        std::freopen(log.c_str(), "a", stdout);
        std::freopen(log.c_str(), "a", stderr);
        ::execl("/usr/sbin/mosquitto", "mosquitto", "-c", conf.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        if (Accepts(m_nPort))
            return true;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::ifstream in(log);
    std::cerr << "mosquitto did not start:\n" << in.rdbuf() << "\n";
    Stop();
    return false;
}

void CMosquittoBroker::Stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}
