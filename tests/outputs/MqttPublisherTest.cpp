// The publisher against a real mosquitto broker, read back by a real
// subscriber: what Home Assistant and other consumers get to see.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "outputs/MqttPublisher.h"
#include "support/MosquittoBroker.h"
#include "support/MqttSubscriber.h"

namespace {

using namespace std::chrono_literals;
using nlohmann::json;

constexpr auto kWait = 5s;

SMonitorInverter Inverter(const std::string& serial, int type)
{
    return {serial, "/dev/pts/7", type, 0x4000, 3000, "V8.05"};
}

// A reading with a value in every series the store keeps.
SMonitorReading Reading(const SMonitorInverter& inverter, double pac, std::uint32_t stateCode, std::uint32_t faultWord = 0)
{
    SMonitorReading reading;
    reading.inverter = inverter;
    reading.tmWall = 1717236005; // 2024-06-01 10:00:05 UTC
    for (int s = 0; s < kSeriesCount; ++s)
        reading.aValue[static_cast<std::size_t>(s)] = 10.0 + s;
    reading.aValue[kSeriesPac] = pac;
    reading.aValue[kSeriesUac] = 230.1f; // as the store holds it: single precision
    reading.aValue[kSeriesEtotal] = 12345.6f;
    reading.aValue[kSeriesState2] = stateCode;
    reading.aValue[kSeriesState1] = faultWord;
    return reading;
}

class CLogLines {
public:
    CMqttPublisher::LogFunction Function()
    {
        return [this](int priority, const std::string& text) {
            std::lock_guard lock(m_mutex);
            m_lines.emplace_back(priority, text);
        };
    }
    std::vector<std::string> Containing(const std::string& part)
    {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> found;
        for (const auto& [priority, text] : m_lines)
            if (text.find(part) != std::string::npos)
                found.push_back(text);
        return found;
    }
    std::vector<std::string> All() { return Containing(""); }

private:
    std::mutex m_mutex;
    std::vector<std::pair<int, std::string>> m_lines;
};

class MqttPublisherTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_broker.Start()); }

    SMqttConfig Config(int interval = 3600) const
    {
        SMqttConfig config;
        config.strHost = "127.0.0.1";
        config.nPort = m_broker.Port();
        config.nInterval = interval;
        return config;
    }

    std::unique_ptr<CMqttPublisher> Online(const SMqttConfig& config, const SMonitorInverter& inverter)
    {
        auto publisher = std::make_unique<CMqttPublisher>(config, m_log.Function());
        publisher->OnLinkState({true, inverter});
        return publisher;
    }

    CMosquittoBroker m_broker;
    CLogLines m_log;
};

std::map<std::string, json> DiscoveryConfigs(CMqttSubscriber& subscriber, const std::string& serial)
{
    std::map<std::string, json> configs;
    const std::string base = "homeassistant/sensor/zelvan_" + serial + "/";
    for (const SReceived& r : subscriber.Received()) {
        if (r.strTopic.rfind(base, 0) == 0) {
            EXPECT_TRUE(r.bRetain) << r.strTopic;
            configs[r.strTopic.substr(base.size(), r.strTopic.size() - base.size() - 7)] = json::parse(r.strPayload);
        }
    }
    return configs;
}

TEST_F(MqttPublisherTest, AnnouncesRetainedEntitiesOfWhatTheProtocolTypeReports)
{
    auto address = Online(Config(), Inverter("A12345678901", 2));
    auto index = Online(Config(), Inverter("B12345678901", 0));
    {
        CMqttSubscriber probe(m_broker.Port(), {"zelvan/+/availability"});
        ASSERT_TRUE(probe.WaitForTopic("zelvan/A12345678901/availability", kWait, "online"));
        ASSERT_TRUE(probe.WaitForTopic("zelvan/B12345678901/availability", kWait, "online"));
    }
    // A consumer that comes later still finds every announcement.
    CMqttSubscriber late(m_broker.Port(), {"homeassistant/#"});
    ASSERT_TRUE(late.WaitForTopic("homeassistant/sensor/zelvan_B12345678901/fault_text/config", kWait));
    ASSERT_TRUE(late.WaitForTopic("homeassistant/sensor/zelvan_A12345678901/fault_text/config", kWait));

    std::map<std::string, json> a = DiscoveryConfigs(late, "A12345678901");
    const json& total = a["energy_total"];
    EXPECT_EQ(total["device_class"], "energy");
    EXPECT_EQ(total["unit_of_measurement"], "kWh");
    EXPECT_EQ(total["state_class"], "total_increasing");
    EXPECT_EQ(total["unique_id"], "zelvan_A12345678901_energy_total");
    EXPECT_EQ(total["state_topic"], "zelvan/A12345678901/state");
    EXPECT_EQ(total["value_template"], "{{ value_json.energy_total }}");
    EXPECT_EQ(total["availability_topic"], "zelvan/A12345678901/availability");
    EXPECT_EQ(total["device"]["identifiers"], json::array({"zelvan_A12345678901"}));
    EXPECT_EQ(total["device"]["serial_number"], "A12345678901");
    EXPECT_EQ(total["device"]["model"], "PV inverter 3000 W");
    EXPECT_EQ(total["device"]["sw_version"], "V8.05");
    EXPECT_EQ(a["pac"]["device_class"], "power");
    EXPECT_EQ(a["temperature"]["unit_of_measurement"], "°C");
    EXPECT_EQ(a["energy_today"]["unit_of_measurement"], "kWh");
    for (const char* text : {"state", "fault_text"}) {
        EXPECT_EQ(a[text]["value_template"], std::string("{{ value_json.") + text + " }}");
        EXPECT_FALSE(a[text].contains("unit_of_measurement") || a[text].contains("device_class") ||
                     a[text].contains("state_class"))
            << text;
    }
    // Only the address map reports the insulation, only the index map the Iac shift.
    EXPECT_TRUE(a.count("insulation"));
    EXPECT_FALSE(a.count("iac_shift"));
    std::map<std::string, json> b = DiscoveryConfigs(late, "B12345678901");
    EXPECT_TRUE(b.count("iac_shift"));
    EXPECT_FALSE(b.count("insulation"));
    EXPECT_TRUE(b.count("energy_total"));

    // Home Assistant starting again asks for the announcements once more.
    late.Clear();
    ASSERT_TRUE(late.Publish("homeassistant/status", "online"));
    EXPECT_TRUE(late.WaitForTopic("homeassistant/sensor/zelvan_A12345678901/energy_total/config", kWait));
}

TEST_F(MqttPublisherTest, StateCarriesTheReadingAndGoesOutWhenTheRunningStateChanges)
{
    const SMonitorInverter inverter = Inverter("C12345678901", 2);
    CMqttSubscriber subscriber(m_broker.Port(), {"zelvan/C12345678901/state"});
    ASSERT_TRUE(subscriber.Connected());
    auto publisher = Online(Config(), inverter);
    publisher->OnReading(Reading(inverter, 1234.5, 1, (1u << 3) | (1u << 4)));

    SReceived first;
    ASSERT_TRUE(subscriber.WaitForTopic("zelvan/C12345678901/state", kWait, {}, &first));
    EXPECT_FALSE(first.bRetain);
    const json state = json::parse(first.strPayload);
    EXPECT_EQ(state["pac"], 1234.5);
    EXPECT_EQ(state["uac"], 230.1);
    EXPECT_EQ(state["energy_total"], 12345.6);
    EXPECT_EQ(state["udc"], 10.0);
    EXPECT_EQ(state["time_total"], 10 + kSeriesTtotal);
    EXPECT_EQ(state["insulation"], 10 + kSeriesInsulation);
    EXPECT_EQ(state["state_code"], 1);
    EXPECT_EQ(state["state"], "Inverting");
    EXPECT_EQ(state["fault_word"], 24);
    EXPECT_EQ(state["fault_texts"], json::array({"Grid voltage fault", "Grid frequency fault"}));
    EXPECT_EQ(state["fault_text"], "Grid voltage fault, Grid frequency fault");
    const std::string time = state["time"];
    EXPECT_TRUE(time.size() == 25 && time.substr(0, 4) == "2024" && time[10] == 'T' &&
                (time[19] == '+' || time[19] == '-') && time[22] == ':')
        << time;

    // The same running state waits for the interval (an hour here) ...
    publisher->OnReading(Reading(inverter, 1500.0, 1));
    std::this_thread::sleep_for(300ms);
    // ... a new one goes out at once, with the newest values.
    publisher->OnReading(Reading(inverter, 0.0, 128, 1u << 3));
    SReceived fault;
    ASSERT_TRUE(subscriber.WaitFor([](const SReceived& r) { return r.strPayload.find("\"Fault\"") != std::string::npos; },
                                   kWait, &fault));
    EXPECT_EQ(json::parse(fault.strPayload)["pac"], 0.0);
    EXPECT_EQ(subscriber.Received().size(), 2u);
}

TEST_F(MqttPublisherTest, StateRepeatsAtTheInterval)
{
    const SMonitorInverter inverter = Inverter("D12345678901", 1);
    CMqttSubscriber subscriber(m_broker.Port(), {"zelvan/D12345678901/state"});
    ASSERT_TRUE(subscriber.Connected());
    auto publisher = Online(Config(1), inverter);
    publisher->OnReading(Reading(inverter, 800.0, 1));
    int count = 0;
    ASSERT_TRUE(subscriber.WaitFor([&](const SReceived&) { return ++count == 3; }, kWait))
        << "one reading, published again each second";
    EXPECT_EQ(json::parse(subscriber.Received()[2].strPayload)["state"], "Inverting");
}

TEST_F(MqttPublisherTest, AvailabilityFollowsTheLinkAndNoStateWhileTheInverterIsSilent)
{
    const SMonitorInverter inverter = Inverter("E12345678901", 2);
    CMqttSubscriber subscriber(m_broker.Port(), {"zelvan/E12345678901/#"});
    ASSERT_TRUE(subscriber.Connected());
    auto publisher = Online(Config(1), inverter);
    const std::string topic = "zelvan/E12345678901/availability";
    ASSERT_TRUE(subscriber.WaitForTopic(topic, kWait, "online"));

    publisher->OnReading(Reading(inverter, 500.0, 1));
    publisher->OnLinkState({false, inverter});
    ASSERT_TRUE(subscriber.WaitForTopic(topic, kWait, "offline"));
    subscriber.Clear();
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(subscriber.Received().empty()) << "the state stops while the inverter is away";

    publisher->OnReading(Reading(inverter, 700.0, 1));
    EXPECT_TRUE(subscriber.WaitForTopic(topic, kWait, "online"));
    EXPECT_TRUE(subscriber.WaitForTopic("zelvan/E12345678901/state", kWait));

    // Ending the publisher says "offline" itself: a clean disconnect sends no will.
    subscriber.Clear();
    publisher.reset();
    EXPECT_TRUE(subscriber.WaitForTopic(topic, kWait, "offline"));
}

TEST_F(MqttPublisherTest, LastWillSaysOfflineWhenThePublishingProcessIsKilled)
{
    const SMonitorInverter inverter = Inverter("F12345678901", 2);
    // Forked before this process starts any thread of its own.
    const pid_t child = ::fork();
    if (child == 0) {
        CMqttPublisher publisher(Config(), {});
        publisher.OnLinkState({true, inverter});
        ::pause();
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    CMqttSubscriber subscriber(m_broker.Port(), {"zelvan/F12345678901/availability"});
    ASSERT_TRUE(subscriber.Connected());
    const bool online = subscriber.WaitForTopic("zelvan/F12345678901/availability", kWait, "online");
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(online);
    EXPECT_TRUE(subscriber.WaitForTopic("zelvan/F12345678901/availability", kWait, "offline"));
}

TEST_F(MqttPublisherTest, BrokerRestartBringsBackDiscoveryAvailabilityAndOnlyTheNewestState)
{
    const SMonitorInverter inverter = Inverter("G12345678901", 2);
    auto publisher = Online(Config(), inverter);
    publisher->OnReading(Reading(inverter, 100.0, 1));
    {
        CMqttSubscriber subscriber(m_broker.Port(), {"zelvan/G12345678901/availability"});
        ASSERT_TRUE(subscriber.WaitForTopic("zelvan/G12345678901/availability", kWait, "online"));
    }
    m_broker.Stop();
    // Produced while the broker is away: only the last may ever arrive.
    publisher->OnReading(Reading(inverter, 200.0, 1));
    std::this_thread::sleep_for(1500ms);
    publisher->OnReading(Reading(inverter, 300.0, 1));
    ASSERT_TRUE(m_broker.Start());

    // The restarted broker kept nothing: what it has, the publisher sent again.
    CMqttSubscriber subscriber(m_broker.Port(), {"zelvan/G12345678901/#", "homeassistant/#"});
    ASSERT_TRUE(subscriber.Connected());
    EXPECT_TRUE(subscriber.WaitForTopic("zelvan/G12345678901/availability", 10s, "online"));
    EXPECT_TRUE(subscriber.WaitForTopic("homeassistant/sensor/zelvan_G12345678901/energy_total/config", kWait));
    SReceived state;
    ASSERT_TRUE(subscriber.WaitForTopic("zelvan/G12345678901/state", kWait, {}, &state));
    EXPECT_EQ(json::parse(state.strPayload)["pac"], 300.0);
    for (const SReceived& r : subscriber.Received())
        EXPECT_EQ(r.strPayload.find("\"pac\":200"), std::string::npos) << "a stale state was queued";
    EXPECT_FALSE(m_log.Containing("lost the connection").empty());
    EXPECT_EQ(m_log.Containing("connected to broker").size(), 2u);
}

TEST_F(MqttPublisherTest, TwoInvertersOnOneBrokerShareNoTopic)
{
    CMqttSubscriber subscriber(m_broker.Port(), {"#"});
    ASSERT_TRUE(subscriber.Connected());
    const SMonitorInverter one = Inverter("H00000000001", 2);
    const SMonitorInverter two = Inverter("H00000000002", 1);
    auto first = Online(Config(), one);
    auto second = Online(Config(), two);
    first->OnReading(Reading(one, 100.0, 1));
    second->OnReading(Reading(two, 200.0, 1));
    ASSERT_TRUE(subscriber.WaitForTopic("zelvan/H00000000001/state", kWait));
    ASSERT_TRUE(subscriber.WaitForTopic("zelvan/H00000000002/state", kWait));
    ASSERT_TRUE(subscriber.WaitForTopic("homeassistant/sensor/zelvan_H00000000002/fault_text/config", kWait));

    std::set<std::string> topicsOne, topicsTwo;
    for (const SReceived& r : subscriber.Received()) {
        const bool isOne = r.strTopic.find("H00000000001") != std::string::npos;
        const bool isTwo = r.strTopic.find("H00000000002") != std::string::npos;
        EXPECT_NE(isOne, isTwo) << r.strTopic;
        (isOne ? topicsOne : topicsTwo).insert(r.strTopic);
        if (isOne) {
            EXPECT_EQ(r.strPayload.find("H00000000002"), std::string::npos) << r.strTopic;
        }
    }
    EXPECT_FALSE(topicsOne.empty() || topicsTwo.empty());
}

class MqttSecuredBrokerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_broker.Start()); }

    SMqttConfig Config(const std::string& password) const
    {
        SMqttConfig config;
        config.strHost = "localhost"; // the name the certificate carries
        config.nPort = m_broker.Port();
        config.strCaFile = m_broker.CaFile();
        config.strUsername = "meter";
        config.strPassword = password;
        return config;
    }

    CMosquittoBroker m_broker{{"meter", "s3cret-Pa55", true}};
};

TEST_F(MqttSecuredBrokerTest, ConnectsWithTheRightPasswordAndLogsOneRefusalWithoutTheWrongOne)
{
    CMqttSubscriber subscriber(m_broker.Port(), {"zelvan/#"}, {"meter", "s3cret-Pa55", m_broker.CaFile()});
    ASSERT_TRUE(subscriber.Connected());
    const SMonitorInverter inverter = Inverter("K12345678901", 2);
    CLogLines goodLog, badLog;
    CMqttPublisher good(Config("s3cret-Pa55"), goodLog.Function());
    good.OnLinkState({true, inverter});
    EXPECT_TRUE(subscriber.WaitForTopic("zelvan/K12345678901/availability", kWait, "online"));

    const SMonitorInverter other = Inverter("L12345678901", 2);
    {
        CMqttPublisher bad(Config("wrong-Pa55word"), badLog.Function());
        bad.OnLinkState({true, other});
        // Three attempts: at once, after 1 s and after 2 more.
        std::this_thread::sleep_for(3500ms);
        EXPECT_FALSE(bad.IsBrokerConnected());
    }
    const std::vector<std::string> refusals = badLog.Containing("refused");
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_NE(refusals[0].find("not authorised"), std::string::npos) << refusals[0];
    for (const std::string& line : badLog.All())
        EXPECT_EQ(line.find("wrong-Pa55word"), std::string::npos) << line;
    for (const std::string& line : goodLog.All())
        EXPECT_EQ(line.find("s3cret-Pa55"), std::string::npos) << line;
    for (const SReceived& r : subscriber.Received())
        EXPECT_EQ(r.strTopic.find("L12345678901"), std::string::npos) << r.strTopic;
}

TEST_F(MqttSecuredBrokerTest, AnotherCertificateAuthorityIsOneTlsFailure)
{
    ASSERT_TRUE(CMosquittoBroker::MakeCa(m_broker.Folder(), "stranger"));
    SMqttConfig config = Config("s3cret-Pa55");
    config.strCaFile = m_broker.Folder() + "/stranger.crt";
    CLogLines log;
    {
        CMqttPublisher publisher(config, log.Function());
        publisher.OnLinkState({true, Inverter("M12345678901", 2)});
        std::this_thread::sleep_for(1500ms);
    }
    const std::vector<std::string> lines = log.All();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("TLS"), std::string::npos) << lines[0];
}

} // namespace
