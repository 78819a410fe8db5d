#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "model/MonitorOutput.h"
#include "outputs/MqttConfig.h"

struct mosquitto;
struct mosquitto_message;

// Publishes the inverter's readings to an MQTT broker: a JSON state message
// at the configured interval and on every change of the running state, a
// retained availability ("online" while both the broker and the inverter
// answer, "offline" otherwise and as the broker's last will), and Home
// Assistant discovery. It only ever subscribes to the discovery status
// topic, and nothing it receives changes the inverter.
//
// The data path hands readings over and returns at once: only the newest
// reading and link state are kept, and the publisher's own thread does every
// network step, reconnecting with a pause that grows from 1 s to 60 s. The
// broker session starts once the inverter's serial number is known, because
// it names the last will's topic.
class CMqttPublisher final : public IMonitorOutput {
public:
    // Priorities as syslog's.
    static constexpr int kLogError = 3;
    static constexpr int kLogWarning = 4;
    static constexpr int kLogInfo = 6;
    // Called on the publisher's thread. No text ever carries the password.
    using LogFunction = std::function<void(int nPriority, const std::string& strText)>;

    // Starts the publisher's thread; the destructor marks the inverter
    // offline, disconnects and joins it.
    CMqttPublisher(SMqttConfig config, LogFunction log);
    ~CMqttPublisher() override;
    CMqttPublisher(const CMqttPublisher&) = delete;
    CMqttPublisher& operator=(const CMqttPublisher&) = delete;

    // Data-path thread: copy and return.
    void OnReading(const SMonitorReading& reading) override;
    void OnLinkState(const SMonitorLinkState& state) override;

    // Any thread: the broker has accepted the current session.
    [[nodiscard]] bool IsBrokerConnected() const { return m_bBrokerUp.load(); }

private:
    using Clock = std::chrono::steady_clock;

    // Thread entry and its steps (publisher thread only).
    void Run();
    void TakeHandedOver();
    void StartSession();
    void EndSession(int rc);
    void PublishDue();
    void PublishState();
    bool Publish(const std::string& topic, const std::string& payload, bool retain);
    void WaitForWork();
    void CloseSession();
    void LogFailure(const std::string& reason);
    std::string Where() const;

    static void OnConnect(mosquitto* pMosq, void* pSelf, int rc);
    static void OnDisconnect(mosquitto* pMosq, void* pSelf, int rc);
    static void OnMessage(mosquitto* pMosq, void* pSelf, const mosquitto_message* pMessage);
    static void OnLibraryLog(mosquitto* pMosq, void* pSelf, int level, const char* pszText);

    const SMqttConfig m_config;
    const LogFunction m_log;

    // Handed over by the data path, guarded by m_mutex.
    std::mutex m_mutex;
    std::optional<SMonitorReading> m_newReading;
    std::optional<SMonitorLinkState> m_newLink;
    bool m_bStop = false;
    int m_nWakeFd = -1; // eventfd: wakes the thread's poll()

    std::atomic<bool> m_bBrokerUp{false};

    // Publisher thread only.
    mosquitto* m_pMosq = nullptr;
    SMonitorInverter m_inverter;      // newest known
    std::string m_strSessionSerial;   // serial the current session's will names
    bool m_bSession = false;          // a connection is being made or is up
    bool m_bRestartNow = false;       // the session ended to change the will
    bool m_bLinkUp = false;
    std::optional<SMonitorReading> m_reading;
    std::optional<double> m_publishedStateCode;
    bool m_bStateDue = false;
    bool m_bDiscoveryDue = false;
    bool m_bAvailabilityDue = false;
    bool m_bSubscribeDue = false;
    std::string m_strPublishedAvailability;
    SMonitorInverter m_announced;     // what the last discovery described
    Clock::time_point m_tNextState{};
    Clock::time_point m_tNextAttempt{};
    int m_nPauseSeconds = 1;
    std::string m_strLastFailure;     // logged once until it changes or a connection succeeds
    std::string m_strLibraryError;    // the client library's last error line (TLS detail)
    std::string m_strRefusal;         // the broker's answer to this session's connect, if it refused

    std::thread m_thread;
};
