#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

// A real MQTT subscriber on libmosquitto's own thread, collecting what
// arrives on its topics.
struct SReceived {
    std::string strTopic;
    std::string strPayload;
    bool bRetain = false;
    std::chrono::steady_clock::time_point tArrival;
};

struct SSubscriberOptions {
    std::string strUser;
    std::string strPassword;
    std::string strCaFile; // TLS when set
};

class CMqttSubscriber {
public:
    // Connects to 127.0.0.1:port and subscribes to `topics` (wildcards
    // allowed); Connected() tells whether both succeeded.
    CMqttSubscriber(int port, const std::vector<std::string>& topics, const SSubscriberOptions& options = {});
    ~CMqttSubscriber();
    CMqttSubscriber(const CMqttSubscriber&) = delete;
    CMqttSubscriber& operator=(const CMqttSubscriber&) = delete;

    [[nodiscard]] bool Connected() const { return m_bConnected; }

    // Waits until some received message satisfies `match`; returns a copy.
    [[nodiscard]] bool WaitFor(const std::function<bool(const SReceived&)>& match, std::chrono::milliseconds timeout,
                               SReceived* found = nullptr);
    // Waits for a message on exactly `topic`, optionally with `payload`.
    [[nodiscard]] bool WaitForTopic(const std::string& topic, std::chrono::milliseconds timeout,
                                    const std::string& payload = {}, SReceived* found = nullptr);

    // Publishes as another client would (Home Assistant's status, say).
    bool Publish(const std::string& topic, const std::string& payload, bool retain = false);

    std::vector<SReceived> Received();
    void Clear();

private:
    static void OnMessage(mosquitto*, void* pSelf, const mosquitto_message* pMessage);
    static void OnSubscribe(mosquitto*, void* pSelf, int mid, int count, const int* granted);

    mosquitto* m_pMosq = nullptr;
    bool m_bConnected = false;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<SReceived> m_received;
    std::size_t m_nSubscribed = 0;
};
