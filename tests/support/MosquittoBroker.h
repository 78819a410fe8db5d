#pragma once
#include <sys/types.h>

#include <string>

// A mosquitto broker of the test's own: /usr/sbin/mosquitto on 127.0.0.1 on
// a free port, with its config, password file and certificates in a
// temporary folder, stopped by its PID. Retained messages live only as long
// as one run (no persistence), so a restart shows what clients send again.
struct SBrokerOptions {
    std::string strUser;     // with a password: anonymous clients are refused
    std::string strPassword;
    bool bTls = false;       // certificates for 127.0.0.1 and localhost, signed by CaFile()
};

class CMosquittoBroker {
public:
    explicit CMosquittoBroker(SBrokerOptions options = {});
    ~CMosquittoBroker();
    CMosquittoBroker(const CMosquittoBroker&) = delete;
    CMosquittoBroker& operator=(const CMosquittoBroker&) = delete;

    // Starts the broker (again on the same port after Stop) and waits until
    // it accepts connections. False, with the broker's log on stderr, if not.
    [[nodiscard]] bool Start();
    void Stop();

    int Port() const { return m_nPort; }
    const std::string& Folder() const { return m_strFolder; }
    std::string CaFile() const { return m_strFolder + "/ca.crt"; }

    // Writes a file into the folder with the given mode; returns its path.
    std::string WriteFile(const std::string& name, const std::string& text, mode_t mode = 0600) const;

    // A certificate authority of its own in `folder` (prefix.crt, prefix.key),
    // and a server certificate it signs for 127.0.0.1 and localhost.
    static bool MakeCa(const std::string& folder, const std::string& prefix);
    static bool MakeServerCertificate(const std::string& folder, const std::string& caPrefix);

private:
    bool WriteConfig() const;

    SBrokerOptions m_options;
    std::string m_strFolder;
    int m_nPort = 0;
    pid_t m_pid = -1;
};
