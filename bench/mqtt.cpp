// Two figures through a mosquitto broker of its own on 127.0.0.1:
// - the publisher alone: a reading handed to it (a change of the running
//   state, so it goes out at once) to a subscriber receiving the state;
// - the whole path: zelvand polling zelvan-sim (type 1), from the arrival on
//   the serial line of the reply that carries a new running state (its "rx"
//   time in the communication log) to the subscriber receiving the state
//   message with that state. The simulator's "state N" makes the change.
//   bench_mqtt [PUBLICATIONS]   (default 200)
// Ends with "mqtt: median <a> ms, p99 <b> ms" (the whole path).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "outputs/MqttPublisher.h"
#include "support/MosquittoBroker.h"
#include "support/MqttSubscriber.h"
#include "support/ServiceProcess.h"
#include "support/SimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

struct SFigures {
    double dMedian = 0;
    double dP99 = 0;
    double dMax = 0;
};

SFigures Figures(std::vector<double> latencies)
{
    std::sort(latencies.begin(), latencies.end());
    return {latencies[latencies.size() / 2], latencies[(latencies.size() * 99 + 99) / 100 - 1], latencies.back()};
}

bool PublisherAlone(CMosquittoBroker& broker, int count, SFigures& figures)
{
    const std::string serial = "B00000000001";
    CMqttSubscriber subscriber(broker.Port(), {"zelvan/" + serial + "/state"});
    if (!subscriber.Connected())
        return false;
    SMqttConfig config;
    config.strHost = "127.0.0.1";
    config.nPort = broker.Port();
    config.nInterval = 3600; // only the changes publish
    CMqttPublisher publisher(config, [](int, const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
    SMonitorReading reading;
    reading.inverter = {serial, "/dev/pts/1", 2, 0x4000, 3000, "V1.00"};
    reading.tmWall = 1717236005;
    for (int s = 0; s < kSeriesCount; ++s)
        reading.aValue[static_cast<std::size_t>(s)] = 1.0;
    publisher.OnLinkState({true, reading.inverter});
    const auto connectEnd = Clock::now() + std::chrono::seconds(10);
    while (!publisher.IsBrokerConnected() && Clock::now() < connectEnd)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    std::vector<double> latencies;
    for (int i = 0; i < count; ++i) {
        // Each publication its own running state and its own power, to find it by.
        reading.aValue[kSeriesState2] = i % 2 == 0 ? 1.0 : 0.0;
        reading.aValue[kSeriesPac] = 1000.0 + i;
        const std::string mark = "\"pac\":" + std::to_string(1000 + i) + ".0";
        const auto start = Clock::now();
        publisher.OnReading(reading);
        SReceived received;
        if (!subscriber.WaitFor([&](const SReceived& r) { return r.strPayload.find(mark) != std::string::npos; },
                                std::chrono::seconds(5), &received)) {
            std::printf("publication %d did not arrive\n", i);
            return false;
        }
        latencies.push_back(std::chrono::duration<double, std::milli>(received.tArrival - start).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    figures = Figures(latencies);
    return true;
}

// A communication log's reply of the running block, which holds the state
// and ends the poll cycle (type 1: 31 registers from index 11, the state at
// 41): its wall time in epoch milliseconds and the state.
struct SStateReply {
    double dWallMs = 0;
    int nState = 0;
};

std::vector<SStateReply> StateReplies(const std::string& log)
{
    std::vector<SStateReply> replies;
    std::ifstream in(log);
    std::string line;
    bool stateBlockAsked = false;
    while (std::getline(in, line)) {
        if (line.size() < 28)
            continue;
        const std::string kind = line.substr(24, 3);
        if (kind == "tx ") {
            stateBlockAsked = line.compare(27, 11, "01 04 00 0A") == 0;
            continue;
        }
        if (kind != "rx " || !stateBlockAsked || line.compare(27, 8, "01 04 3E") != 0)
            continue;
        std::tm tm{};
        int ms = 0;
        if (std::sscanf(line.c_str(), "%d-%d-%dT%d:%d:%d.%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                        &tm.tm_min, &tm.tm_sec, &ms) != 7)
            continue;
        tm.tm_year -= 1900;
        tm.tm_mon -= 1;
        tm.tm_isdst = -1;
        std::istringstream bytes(line.substr(27));
        std::vector<int> b;
        for (std::string hex; bytes >> hex;)
            b.push_back(std::stoi(hex, nullptr, 16));
        if (b.size() < 65)
            continue;
        replies.push_back({static_cast<double>(std::mktime(&tm)) * 1000.0 + ms, (b[63] << 8) | b[64]});
    }
    return replies;
}

double WallMs(Clock::time_point t)
{
    const auto wall = std::chrono::system_clock::now() - (Clock::now() - t);
    return std::chrono::duration<double, std::milli>(wall.time_since_epoch()).count();
}

bool WholePath(CMosquittoBroker& broker, int count, SFigures& figures)
{
    const std::string serial = "600000000001";
    CMqttSubscriber subscriber(broker.Port(), {"zelvan/" + serial + "/state"});
    if (!subscriber.Connected())
        return false;
    CSimProcess sim;
    if (!sim.Start({"--protocol", "1", "--serial", serial, "--start", "12:00", "--turnaround", "0"}))
        return false;
    char folder[] = "/tmp/bench-mqtt-XXXXXX";
    if (::mkdtemp(folder) == nullptr)
        return false;
    const std::string dir = folder;
    std::ofstream(dir + "/zelvand.toml") << "[mqtt]\nhost = \"127.0.0.1\"\nport = " << broker.Port()
                                         << "\ninterval = 3600\n";
    const std::string log = dir + "/comm.log";
    CServiceProcess service;
    // The clocks at five times speed: a poll cycle every few hundred
    // milliseconds, so 200 changes take minutes, not a quarter of an hour.
    if (!service.Start({"--config", dir + "/zelvand.toml", "--port", sim.Path(), "--protocol", "1", "--history-dir",
                        dir + "/hisdata", "--status-file", dir + "/status.json", "--comm-log", log, "--time-speed",
                        "5"}))
        return false;
    if (!subscriber.WaitFor([](const SReceived&) { return true; }, std::chrono::seconds(30))) {
        std::printf("zelvand did not publish:\n%s", service.Text().c_str());
        return false;
    }

    std::vector<std::pair<int, double>> arrivals; // state, wall ms
    for (int i = 0; i < count; ++i) {
        const int state = i % 2 == 0 ? 3 : 1;
        subscriber.Clear();
        sim.Command("state " + std::to_string(state));
        const std::string mark = "\"state_code\":" + std::to_string(state) + ",";
        SReceived received;
        if (!subscriber.WaitFor([&](const SReceived& r) { return r.strPayload.find(mark) != std::string::npos; },
                                std::chrono::seconds(10), &received)) {
            std::printf("change %d did not arrive\n%s", i, service.Text().c_str());
            return false;
        }
        arrivals.emplace_back(state, WallMs(received.tArrival));
    }
    service.Stop();
    const std::vector<SStateReply> replies = StateReplies(log);
    std::vector<double> latencies;
    std::size_t next = 0;
    double previous = 0;
    for (const auto& [state, arrival] : arrivals) {
        // The first reply after the previous publication that carries the new state.
        while (next < replies.size() && (replies[next].dWallMs <= previous || replies[next].nState != state))
            ++next;
        if (next == replies.size() || replies[next].dWallMs > arrival) {
            std::printf("no reply carrying state %d before its publication\n", state);
            return false;
        }
        latencies.push_back(arrival - replies[next].dWallMs);
        previous = arrival;
    }
    std::filesystem::remove_all(dir);
    figures = Figures(latencies);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    CMosquittoBroker broker;
    if (!broker.Start())
        return 1;
    SFigures alone, whole;
    if (!PublisherAlone(broker, count, alone))
        return 1;
    std::printf("publisher alone: %d publications, median %.2f ms, p99 %.2f ms, max %.2f ms\n", count, alone.dMedian,
                alone.dP99, alone.dMax);
    if (!WholePath(broker, count, whole))
        return 1;
    std::printf("serial line to subscriber: %d publications, max %.2f ms\n", count, whole.dMax);
    std::printf("mqtt: median %.2f ms, p99 %.2f ms\n", whole.dMedian, whole.dP99);
    return 0;
}
