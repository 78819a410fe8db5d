#include "support/MqttSubscriber.h"

#include <algorithm>
#include <mosquitto.h>

CMqttSubscriber::CMqttSubscriber(int port, const std::vector<std::string>& topics, const SSubscriberOptions& options)
{
    mosquitto_lib_init();
    m_pMosq = mosquitto_new(nullptr, true, this);
    if (!m_pMosq)
        return;
    mosquitto_message_callback_set(m_pMosq, &CMqttSubscriber::OnMessage);
    mosquitto_subscribe_callback_set(m_pMosq, &CMqttSubscriber::OnSubscribe);
    if (!options.strUser.empty())
        mosquitto_username_pw_set(m_pMosq, options.strUser.c_str(), options.strPassword.c_str());
    if (!options.strCaFile.empty())
        mosquitto_tls_set(m_pMosq, options.strCaFile.c_str(), nullptr, nullptr, nullptr, nullptr);
    // Subscriptions sent before the loop runs go out with the connect.
    if (mosquitto_connect(m_pMosq, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
        return;
    for (const std::string& topic : topics) {
        if (mosquitto_subscribe(m_pMosq, nullptr, topic.c_str(), 1) != MOSQ_ERR_SUCCESS)
            return;
    }
    if (mosquitto_loop_start(m_pMosq) != MOSQ_ERR_SUCCESS)
        return;
    // Only once the broker has confirmed the subscriptions is nothing missed.
    std::unique_lock lock(m_mutex);
    m_bConnected = m_cv.wait_for(lock, std::chrono::seconds(5), [&] { return m_nSubscribed == topics.size(); });
}

void CMqttSubscriber::OnSubscribe(mosquitto*, void* pSelf, int, int, const int*)
{
    auto* self = static_cast<CMqttSubscriber*>(pSelf);
    {
        std::lock_guard lock(self->m_mutex);
        ++self->m_nSubscribed;
    }
    self->m_cv.notify_all();
}

bool CMqttSubscriber::Publish(const std::string& topic, const std::string& payload, bool retain)
{
    return mosquitto_publish(m_pMosq, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                             retain) == MOSQ_ERR_SUCCESS;
}

CMqttSubscriber::~CMqttSubscriber()
{
    if (!m_pMosq)
        return;
    mosquitto_disconnect(m_pMosq);
    mosquitto_loop_stop(m_pMosq, true);
    mosquitto_destroy(m_pMosq);
}

void CMqttSubscriber::OnMessage(mosquitto*, void* pSelf, const mosquitto_message* pMessage)
{
    auto* self = static_cast<CMqttSubscriber*>(pSelf);
    SReceived received{pMessage->topic,
                       std::string(static_cast<const char*>(pMessage->payload), static_cast<std::size_t>(pMessage->payloadlen)),
                       pMessage->retain, std::chrono::steady_clock::now()};
    {
        std::lock_guard lock(self->m_mutex);
        self->m_received.push_back(std::move(received));
    }
    self->m_cv.notify_all();
}

bool CMqttSubscriber::WaitFor(const std::function<bool(const SReceived&)>& match, std::chrono::milliseconds timeout,
                              SReceived* found)
{
    std::unique_lock lock(m_mutex);
    std::size_t checked = 0;
    return m_cv.wait_for(lock, timeout, [&] {
        for (; checked < m_received.size(); ++checked) {
            if (match(m_received[checked])) {
                if (found)
                    *found = m_received[checked];
                return true;
            }
        }
        return false;
    });
}

bool CMqttSubscriber::WaitForTopic(const std::string& topic, std::chrono::milliseconds timeout, const std::string& payload,
                                   SReceived* found)
{
    return WaitFor([&](const SReceived& r) { return r.strTopic == topic && (payload.empty() || r.strPayload == payload); },
                   timeout, found);
}

std::vector<SReceived> CMqttSubscriber::Received()
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

void CMqttSubscriber::Clear()
{
    std::lock_guard lock(m_mutex);
    m_received.clear();
}
