// The time from a reading handed to the MQTT publisher (a change of the
// running state, so it goes out at once) to a subscriber receiving the state
// that carries it, through a mosquitto broker of its own on 127.0.0.1.
//   bench_mqtt [PUBLICATIONS]   (default 200)
// Ends with "mqtt: median <a> ms, p99 <b> ms".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "outputs/MqttPublisher.h"
#include "support/MosquittoBroker.h"
#include "support/MqttSubscriber.h"

int main(int argc, char** argv)
{
    using Clock = std::chrono::steady_clock;
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

    CMosquittoBroker broker;
    if (!broker.Start())
        return 1;
    const std::string serial = "B00000000001";
    CMqttSubscriber subscriber(broker.Port(), {"zelvan/" + serial + "/state"});
    if (!subscriber.Connected())
        return 1;

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
            return 1;
        }
        latencies.push_back(std::chrono::duration<double, std::milli>(received.tArrival - start).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::sort(latencies.begin(), latencies.end());
    const double median = latencies[latencies.size() / 2];
    const double p99 = latencies[(latencies.size() * 99 + 99) / 100 - 1]; // nearest rank
    std::printf("publications %d, max %.2f ms\n", count, latencies.back());
    std::printf("mqtt: median %.2f ms, p99 %.2f ms\n", median, p99);
    return 0;
}
