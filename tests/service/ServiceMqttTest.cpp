// zelvand publishing to a real mosquitto broker, against zelvan-sim processes:
// what a subscriber (Home Assistant, say) sees of the running service.
#include "support/MosquittoBroker.h"
#include "support/ServiceBroker.h"
#include "support/ServiceProcess.h"
#include "support/SimProcess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <set>

namespace {

using namespace std::chrono_literals;
using nlohmann::json;

// The simulator's total energy (type 1: two registers from 25, tenths of a kWh).
double SimTotalKwh(CSimProcess& sim)
{
    const std::vector<std::uint16_t> words = sim.Registers(25, 2);
    EXPECT_EQ(words.size(), 2u);
    return words.size() == 2 ? ((static_cast<std::uint32_t>(words[0]) << 16) | words[1]) / 10.0 : -1.0;
}

// The topics of every message received that carry `part`.
std::set<std::string> TopicsWith(CMqttSubscriber& subscriber, const std::string& part)
{
    std::set<std::string> topics;
    for (const SReceived& r : subscriber.Received())
        if (r.strTopic.find(part) != std::string::npos)
            topics.insert(r.strTopic);
    return topics;
}

int CountContaining(const CServiceProcess& service, const std::string& part)
{
    int n = 0;
    for (const std::string& line : service.Lines())
        n += line.find(part) != std::string::npos;
    return n;
}

} // namespace

TEST(ServiceMqtt, AnnouncesPublishesTheSimulatorsValuesAndFollowsTheLinkToTheLastWill)
{
    CMosquittoBroker broker;
    ASSERT_TRUE(broker.Start());
    CMqttSubscriber subscriber(broker.Port(), {"zelvan/#", "homeassistant/#"});
    ASSERT_TRUE(subscriber.Connected());
    CTempFolder folder;
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "1", "--serial", "200000000001", "--start", "12:00"}));
    CServiceProcess service;
    ASSERT_TRUE(service.Start(ServiceArgs(folder, WriteServiceConfig(folder, MqttSection(broker.Port())), sim.Path())));
    const SInverterTopics inverter{"200000000001"};

    ASSERT_TRUE(subscriber.WaitForTopic(inverter.Availability(), 20s, "online")) << service.Text();
    SReceived announced;
    {
        CMqttSubscriber late(broker.Port(), {"homeassistant/#"}); // finds what was retained
        ASSERT_TRUE(late.WaitForTopic(inverter.Discovery("energy_total"), 5s, {}, &announced));
    }
    EXPECT_TRUE(announced.bRetain);
    const json total = json::parse(announced.strPayload);
    EXPECT_EQ(total["device"]["serial_number"], "200000000001");
    EXPECT_EQ(total["state_class"], "total_increasing");
    EXPECT_EQ(total["state_topic"], inverter.State());

    // The counter moves by a tenth every two minutes at the simulator's own
    // speed: the state and a "get" just after it agree within one step.
    const json state = NextState(subscriber, inverter, 5s);
    ASSERT_TRUE(state.is_object()) << service.Text();
    EXPECT_NEAR(state["energy_total"].get<double>(), SimTotalKwh(sim), 0.11) << state.dump();
    EXPECT_EQ(state["state_code"].get<double>(), sim.Registers(41).at(0)) << state.dump();

    // A running state of its own goes out at once, carried by the state.
    subscriber.Clear();
    sim.Command("state 3");
    EXPECT_TRUE(subscriber.WaitFor(
        [&](const SReceived& r) {
            return r.strTopic == inverter.State() && json::parse(r.strPayload, nullptr, false)["state_code"] == 3;
        },
        5s))
        << service.Text();

    subscriber.Clear();
    sim.Command("silence on");
    EXPECT_TRUE(subscriber.WaitForTopic(inverter.Availability(), 25s, "offline")) << service.Text();
    subscriber.Clear();
    sim.Command("silence off");
    EXPECT_TRUE(subscriber.WaitForTopic(inverter.Availability(), 45s, "online")) << service.Text();

    // Killed: the broker's last will says it.
    subscriber.Clear();
    EXPECT_EQ(service.Stop(SIGKILL, 5000), -1);
    EXPECT_TRUE(subscriber.WaitForTopic(inverter.Availability(), 5s, "offline"));
}

// The broker away for a while: the service comes back to it by itself,
// and polling and the history go on meanwhile.
TEST(ServiceMqtt, BrokerRestartBringsBackDiscoveryAndAvailabilityWhilePollingGoesOn)
{
    CMosquittoBroker broker;
    ASSERT_TRUE(broker.Start());
    CTempFolder folder;
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "2", "--serial", "200000000002", "--start", "12:00", "--speed", "30",
                           "--turnaround", "0"}));
    CServiceProcess service;
    ASSERT_TRUE(service.Start(ServiceArgs(folder, WriteServiceConfig(folder, MqttSection(broker.Port())), sim.Path(),
                                          {"--time-speed", "30"})));
    const SInverterTopics inverter{"200000000002"};
    {
        CMqttSubscriber before(broker.Port(), {"zelvan/#"});
        ASSERT_TRUE(before.WaitForTopic(inverter.Availability(), 20s, "online")) << service.Text();
    }

    broker.Stop();
    const int away = service.WaitFor("MQTT: lost the connection to broker", 0, 5000);
    EXPECT_GE(away, 0) << service.Text();
    std::this_thread::sleep_for(3s);
    ASSERT_TRUE(broker.Start());
    // A new broker knows nothing retained: whatever arrives was sent again,
    // within the reconnect pause (4 s after three failed attempts, and more).
    CMqttSubscriber after(broker.Port(), {"zelvan/#", "homeassistant/#"});
    ASSERT_TRUE(after.Connected());
    EXPECT_TRUE(after.WaitForTopic(inverter.Availability(), 12s, "online")) << service.Text();
    EXPECT_TRUE(after.WaitForTopic(inverter.Discovery("energy_total"), 5s)) << service.Text();
    const json state = NextState(after, inverter, 5s);
    ASSERT_TRUE(state.is_object());

    // Polling never stopped: no link lost, the day's workbook at its
    // ten-minute mark (30 times speed: about twenty seconds in).
    EXPECT_EQ(service.CountExact("link lost"), 0) << service.Text();
    EXPECT_EQ(service.Stop(SIGTERM), 0) << service.Text();
    bool workbook = false;
    for (const auto& entry : std::filesystem::directory_iterator(folder.File("hisdata")))
        workbook = workbook || entry.path().extension() == ".xls";
    EXPECT_TRUE(workbook);
}

TEST(ServiceMqtt, TwoServicesOnOneBrokerAreTwoDevicesSharingNoTopic)
{
    CMosquittoBroker broker;
    ASSERT_TRUE(broker.Start());
    CMqttSubscriber subscriber(broker.Port(), {"#"});
    ASSERT_TRUE(subscriber.Connected());
    CTempFolder folderOne, folderTwo;
    CSimProcess simOne, simTwo;
    ASSERT_TRUE(simOne.Start({"--protocol", "1", "--serial", "300000000001", "--start", "12:00"}));
    ASSERT_TRUE(simTwo.Start({"--protocol", "0", "--serial", "300000000002", "--start", "12:00"}));
    CServiceProcess one, two;
    ASSERT_TRUE(one.Start(ServiceArgs(folderOne, WriteServiceConfig(folderOne, MqttSection(broker.Port())),
                                      simOne.Path())));
    ASSERT_TRUE(two.Start(ServiceArgs(folderTwo, WriteServiceConfig(folderTwo, MqttSection(broker.Port())),
                                      simTwo.Path())));
    const SInverterTopics first{"300000000001"}, second{"300000000002"};
    for (const SInverterTopics* inverter : {&first, &second}) {
        EXPECT_TRUE(subscriber.WaitForTopic(inverter->Availability(), 25s, "online"));
        EXPECT_TRUE(subscriber.WaitForTopic(inverter->State(), 5s));
        EXPECT_TRUE(subscriber.WaitForTopic(inverter->Discovery("energy_total"), 5s));
    }
    const std::set<std::string> topicsOne = TopicsWith(subscriber, first.strSerial);
    const std::set<std::string> topicsTwo = TopicsWith(subscriber, second.strSerial);
    for (const SReceived& r : subscriber.Received()) {
        EXPECT_EQ(topicsOne.count(r.strTopic) + topicsTwo.count(r.strTopic), 1u)
            << r.strTopic << ": every topic is one inverter's";
        if (r.strTopic.rfind("homeassistant/sensor/", 0) == 0) {
            const json config = json::parse(r.strPayload);
            EXPECT_NE(r.strTopic.find(config["device"]["serial_number"].get<std::string>()), std::string::npos);
        }
    }
    EXPECT_EQ(one.Stop(SIGTERM), 0);
    EXPECT_EQ(two.Stop(SIGTERM), 0);
}

// A broker that wants TLS and a password: the service with the right one
// publishes, with a wrong one it says why once; neither is ever in its log.
TEST(ServiceMqtt, TlsAndPasswordFileConnectOrGiveOneClearRefusal)
{
    CMosquittoBroker broker({"meter", "s3cret-Pa55", true});
    ASSERT_TRUE(broker.Start());
    CMqttSubscriber subscriber(broker.Port(), {"zelvan/#"}, {"meter", "s3cret-Pa55", broker.CaFile()});
    ASSERT_TRUE(subscriber.Connected());
    CTempFolder folder;
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "1", "--serial", "400000000001", "--start", "12:00"}));
    const std::string secured = "username = \"meter\"\npassword_file = \"mqtt.password\"\nca_file = \"" +
                                broker.CaFile() + "\"\n";
    const std::string config = WriteServiceConfig(folder, MqttSection(broker.Port(), "localhost", secured));
    std::ofstream(folder.File("mqtt.password")) << "wrong-Pa55word\n";
    ASSERT_EQ(::chmod(folder.File("mqtt.password").c_str(), 0600), 0);

    {
        CServiceProcess wrong;
        ASSERT_TRUE(wrong.Start(ServiceArgs(folder, config, sim.Path())));
        const int refused = wrong.WaitFor("refused", 0, 20000);
        ASSERT_GE(refused, 0) << wrong.Text();
        EXPECT_NE(wrong.Lines()[static_cast<std::size_t>(refused)].find("not authorised"), std::string::npos)
            << wrong.Text();
        std::this_thread::sleep_for(3s); // retries meanwhile, told once
        EXPECT_EQ(wrong.Stop(SIGTERM), 0);
        EXPECT_EQ(CountContaining(wrong, "refused"), 1) << wrong.Text();
        EXPECT_EQ(wrong.Text().find("wrong-Pa55word"), std::string::npos) << wrong.Text();
        EXPECT_EQ(TopicsWith(subscriber, "400000000001").size(), 0u);
    }

    std::ofstream(folder.File("mqtt.password")) << "s3cret-Pa55\n";
    CServiceProcess right;
    ASSERT_TRUE(right.Start(ServiceArgs(folder, config, sim.Path())));
    EXPECT_TRUE(subscriber.WaitForTopic(SInverterTopics{"400000000001"}.Availability(), 20s, "online"))
        << right.Text();
    // The state for scripts says so, and holds no secret either.
    std::string status;
    for (int waited = 0; waited < 5000 && status.find("\"mqtt\":\"connected\"") == std::string::npos; waited += 100) {
        std::this_thread::sleep_for(100ms);
        std::ifstream in(folder.File("status.json"));
        std::getline(in, status);
    }
    EXPECT_NE(status.find("\"mqtt\":\"connected\"}"), std::string::npos) << status;
    EXPECT_EQ(status.find("s3cret"), std::string::npos) << status;
    EXPECT_EQ(right.Stop(SIGTERM), 0);
    EXPECT_EQ(right.Text().find("s3cret-Pa55"), std::string::npos) << right.Text();
    EXPECT_EQ(CountContaining(right, "refused"), 0) << right.Text();
}
