#include "outputs/MqttPublisher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mosquitto.h>

#include "outputs/MqttMessages.h"

namespace {

constexpr int kQosRetained = 1; // availability and discovery must arrive
constexpr int kQosState = 0;    // the next state replaces a lost one
constexpr int kMaxPauseSeconds = 60;
constexpr auto kCloseTimeout = std::chrono::seconds(2);

void InitLibraryOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

bool SameDevice(const SMonitorInverter& a, const SMonitorInverter& b)
{
    return a.strSerial == b.strSerial && a.nProtocolType == b.nProtocolType && a.nModelCode == b.nModelCode &&
           a.nRating == b.nRating && a.strVersion == b.strVersion;
}

} // namespace

CMqttPublisher::CMqttPublisher(SMqttConfig config, LogFunction log)
    : m_config(std::move(config)), m_log(std::move(log))
{
    InitLibraryOnce();
    m_nWakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_thread = std::thread([this] { Run(); });
}

CMqttPublisher::~CMqttPublisher()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(m_nWakeFd, &one, sizeof one);
    m_thread.join();
    if (m_pMosq)
        mosquitto_destroy(m_pMosq);
    if (m_nWakeFd >= 0)
        ::close(m_nWakeFd);
}

void CMqttPublisher::OnReading(const SMonitorReading& reading)
{
    {
        std::lock_guard lock(m_mutex);
        m_newReading = reading;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(m_nWakeFd, &one, sizeof one);
}

void CMqttPublisher::OnLinkState(const SMonitorLinkState& state)
{
    {
        std::lock_guard lock(m_mutex);
        // A reading still waiting is older than this state: once the link is
        // down it must not bring the inverter back online.
        if (!state.bConnected)
            m_newReading.reset();
        m_newLink = state;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(m_nWakeFd, &one, sizeof one);
}

void CMqttPublisher::Run()
{
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_bStop)
                break;
        }
        TakeHandedOver();
        // A different inverter on the line: its own will, its own topics.
        if (m_bSession && m_strSessionSerial != m_inverter.strSerial) {
            CloseSession();
            m_tNextAttempt = Clock::now();
        }
        if (!m_bSession && !m_inverter.strSerial.empty() && Clock::now() >= m_tNextAttempt)
            StartSession();
        PublishDue();
        WaitForWork();
    }
    CloseSession();
}

void CMqttPublisher::TakeHandedOver()
{
    std::optional<SMonitorReading> reading;
    std::optional<SMonitorLinkState> link;
    {
        std::lock_guard lock(m_mutex);
        reading.swap(m_newReading);
        link.swap(m_newLink);
    }
    // The link first: OnLinkState drops older readings, so one still here is newer.
    if (link) {
        m_bLinkUp = link->bConnected;
        if (!link->inverter.strSerial.empty())
            m_inverter = link->inverter;
        if (!m_bLinkUp) {
            m_reading.reset();
            m_publishedStateCode.reset();
        }
    }
    if (reading) {
        m_bLinkUp = true; // only an answering inverter gives a reading
        if (!reading->inverter.strSerial.empty())
            m_inverter = reading->inverter;
        const std::optional<double>& code = reading->aValue[kSeriesState2];
        if (!m_publishedStateCode || code != m_publishedStateCode)
            m_bStateDue = true;
        m_reading = std::move(reading);
    }
}

std::string CMqttPublisher::Where() const
{
    return m_config.strHost + ":" + std::to_string(m_config.nPort);
}

void CMqttPublisher::LogFailure(const std::string& reason)
{
    if (reason == m_strLastFailure)
        return;
    m_strLastFailure = reason;
    if (m_log)
        m_log(kLogError, "MQTT: " + reason + "; retrying with a pause growing to " + std::to_string(kMaxPauseSeconds) + " s");
}

void CMqttPublisher::StartSession()
{
    // The client id and the will name the serial, so a new inverter gets a
    // new client.
    if (!m_pMosq || m_strSessionSerial != m_inverter.strSerial) {
        if (m_pMosq)
            mosquitto_destroy(m_pMosq);
        m_strSessionSerial = m_inverter.strSerial;
        const std::string id = m_config.strClientId.empty() ? "zelvan-" + TopicSerial(m_strSessionSerial) : m_config.strClientId;
        m_pMosq = mosquitto_new(id.c_str(), true, this);
        if (!m_pMosq) {
            LogFailure("cannot create the client: " + std::string(std::strerror(errno)));
            m_tNextAttempt = Clock::now() + std::chrono::seconds(kMaxPauseSeconds);
            return;
        }
        mosquitto_connect_callback_set(m_pMosq, &CMqttPublisher::OnConnect);
        mosquitto_disconnect_callback_set(m_pMosq, &CMqttPublisher::OnDisconnect);
        mosquitto_message_callback_set(m_pMosq, &CMqttPublisher::OnMessage);
        mosquitto_log_callback_set(m_pMosq, &CMqttPublisher::OnLibraryLog);
        int rc = MOSQ_ERR_SUCCESS;
        if (!m_config.strUsername.empty())
            rc = mosquitto_username_pw_set(m_pMosq, m_config.strUsername.c_str(),
                                           m_config.strPassword.empty() ? nullptr : m_config.strPassword.c_str());
        if (rc == MOSQ_ERR_SUCCESS && m_config.UsesTls()) {
            auto orNull = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
            rc = mosquitto_tls_set(m_pMosq, m_config.strCaFile.c_str(), nullptr, orNull(m_config.strCertFile),
                                   orNull(m_config.strKeyFile), nullptr);
        }
        const std::string will = AvailabilityTopic(m_config, m_strSessionSerial);
        if (rc == MOSQ_ERR_SUCCESS)
            rc = mosquitto_will_set(m_pMosq, will.c_str(), 7, "offline", kQosRetained, true);
        if (rc != MOSQ_ERR_SUCCESS) {
            LogFailure("cannot set up the client for " + Where() + ": " + mosquitto_strerror(rc));
            mosquitto_destroy(m_pMosq);
            m_pMosq = nullptr;
            m_tNextAttempt = Clock::now() + std::chrono::seconds(kMaxPauseSeconds);
            return;
        }
    }
    m_strLibraryError.clear();
    m_bSession = true;
    const int rc = mosquitto_connect_async(m_pMosq, m_config.strHost.c_str(), m_config.nPort, m_config.nKeepalive);
    if (rc != MOSQ_ERR_SUCCESS)
        EndSession(rc);
}

void CMqttPublisher::EndSession(int rc)
{
    if (!m_bSession)
        return;
    // Taken before anything else can overwrite errno.
    std::string reason = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
    m_bSession = false;
    const bool wasUp = m_bBrokerUp.exchange(false);
    if (m_bRestartNow) {
        m_bRestartNow = false;
        return;
    }
    if (!m_strRefusal.empty())
        reason = m_strRefusal;
    else if (rc == MOSQ_ERR_TLS && !m_strLibraryError.empty())
        reason = "TLS failure: " + m_strLibraryError;
    else if (rc == MOSQ_ERR_TLS)
        reason = "TLS failure";
    m_strRefusal.clear();
    if (rc != MOSQ_ERR_SUCCESS || !wasUp)
        LogFailure((wasUp ? "lost the connection to broker " : "no connection to broker ") + Where() + ": " + reason);
    m_tNextAttempt = Clock::now() + std::chrono::seconds(m_nPauseSeconds);
    m_nPauseSeconds = std::min(m_nPauseSeconds * 2, kMaxPauseSeconds);
}

void CMqttPublisher::CloseSession()
{
    if (!m_bSession)
        return;
    // A clean disconnect sends no will: say "offline" ourselves.
    if (m_bBrokerUp)
        Publish(AvailabilityTopic(m_config, m_strSessionSerial), "offline", true);
    m_bRestartNow = true;
    if (mosquitto_disconnect(m_pMosq) == MOSQ_ERR_SUCCESS) {
        const auto end = Clock::now() + kCloseTimeout;
        while (m_bSession && Clock::now() < end) {
            if (mosquitto_loop(m_pMosq, 100, 1) != MOSQ_ERR_SUCCESS)
                break;
        }
    }
    EndSession(MOSQ_ERR_SUCCESS);
    m_bRestartNow = false;
    m_strPublishedAvailability.clear();
}

bool CMqttPublisher::Publish(const std::string& topic, const std::string& payload, bool retain)
{
    const int rc = mosquitto_publish(m_pMosq, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                                     retain ? kQosRetained : kQosState, retain);
    return rc == MOSQ_ERR_SUCCESS;
}

void CMqttPublisher::PublishDue()
{
    if (!m_bBrokerUp)
        return;
    if (m_bSubscribeDue) {
        m_bSubscribeDue = false;
        if (!m_config.strDiscoveryPrefix.empty())
            mosquitto_subscribe(m_pMosq, nullptr, DiscoveryStatusTopic(m_config).c_str(), 1);
    }
    if (m_bDiscoveryDue || !SameDevice(m_announced, m_inverter)) {
        bool bAll = true;
        for (const SMqttMessage& message : DiscoveryMessages(m_config, m_inverter))
            bAll = Publish(message.strTopic, message.strPayload, true) && bAll;
        m_bDiscoveryDue = !bAll;
        m_announced = m_inverter;
    }
    const std::string availability = m_bLinkUp ? "online" : "offline";
    if (m_bAvailabilityDue || availability != m_strPublishedAvailability) {
        if (Publish(AvailabilityTopic(m_config, m_strSessionSerial), availability, true)) {
            m_strPublishedAvailability = availability;
            m_bAvailabilityDue = false;
        }
    }
    if (m_bLinkUp && m_reading && (m_bStateDue || Clock::now() >= m_tNextState))
        PublishState();
}

void CMqttPublisher::PublishState()
{
    if (!Publish(StateTopic(m_config, m_strSessionSerial), StateJson(*m_reading), false))
        return;
    m_publishedStateCode = m_reading->aValue[kSeriesState2];
    m_bStateDue = false;
    m_tNextState = Clock::now() + std::chrono::seconds(m_config.nInterval);
}

void CMqttPublisher::WaitForWork()
{
    pollfd fds[2] = {{m_nWakeFd, POLLIN, 0}, {-1, 0, 0}};
    nfds_t count = 1;
    if (m_bSession) {
        const int sock = mosquitto_socket(m_pMosq);
        if (sock >= 0) {
            fds[1] = {sock, static_cast<short>(POLLIN | (mosquitto_want_write(m_pMosq) ? POLLOUT : 0)), 0};
            count = 2;
        }
    }
    // At most a second: the client's keep-alive runs from here.
    const auto now = Clock::now();
    auto until = now + std::chrono::seconds(1);
    if (!m_bSession && !m_inverter.strSerial.empty())
        until = std::min(until, m_tNextAttempt);
    if (m_bBrokerUp && m_bLinkUp && m_reading)
        until = std::min(until, m_tNextState);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(std::max(until - now, Clock::duration::zero()));
    if (::poll(fds, count, static_cast<int>(wait.count())) > 0 && (fds[0].revents & POLLIN)) {
        std::uint64_t drained = 0;
        [[maybe_unused]] const auto n = ::read(m_nWakeFd, &drained, sizeof drained);
    }
    if (m_bSession) {
        const int rc = mosquitto_loop(m_pMosq, 0, 1);
        if (rc != MOSQ_ERR_SUCCESS)
            EndSession(rc);
    }
}

// The callbacks run inside mosquitto_loop, on the publisher's thread.

void CMqttPublisher::OnConnect(mosquitto*, void* pSelf, int rc)
{
    auto* self = static_cast<CMqttPublisher*>(pSelf);
    if (rc != 0) {
        self->m_strRefusal = std::string("the broker refused the connection: ") + mosquitto_connack_string(rc);
        return;
    }
    self->m_bBrokerUp = true;
    self->m_nPauseSeconds = 1;
    self->m_strLastFailure.clear();
    self->m_bSubscribeDue = self->m_bDiscoveryDue = self->m_bAvailabilityDue = true;
    // Only the newest state matters: send it now rather than at the next interval.
    self->m_bStateDue = true;
    if (self->m_log)
        self->m_log(kLogInfo, "MQTT: connected to broker " + self->Where());
}

void CMqttPublisher::OnDisconnect(mosquitto*, void* pSelf, int rc)
{
    static_cast<CMqttPublisher*>(pSelf)->EndSession(rc);
}

void CMqttPublisher::OnMessage(mosquitto*, void* pSelf, const mosquitto_message* pMessage)
{
    auto* self = static_cast<CMqttPublisher*>(pSelf);
    // A retained "online" is Home Assistant's old announcement, already
    // answered by the discovery sent on connecting.
    if (pMessage->retain || self->m_config.strDiscoveryPrefix.empty())
        return;
    const std::string_view payload(static_cast<const char*>(pMessage->payload),
                                   static_cast<std::size_t>(std::max(pMessage->payloadlen, 0)));
    if (DiscoveryStatusTopic(self->m_config) == pMessage->topic && payload == "online")
        self->m_bDiscoveryDue = true;
}

void CMqttPublisher::OnLibraryLog(mosquitto*, void* pSelf, int level, const char* pszText)
{
    if ((level & MOSQ_LOG_ERR) && pszText)
        static_cast<CMqttPublisher*>(pSelf)->m_strLibraryError = pszText;
}
