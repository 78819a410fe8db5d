#pragma once
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "model/MonitorOutput.h"

// The service's state for scripts: one line of JSON in a small file (the
// link state, the inverter, the last values and their time), replaced
// atomically. The data path only composes the line; a thread of its own
// writes it, at most once a second, so the data path never waits on a disk.
class CStatusFile : public IMonitorOutput {
public:
    // The path used: `preferred` when its folder can be made and written,
    // else `fallback`; empty when neither can.
    static std::string ChoosePath(const std::string& preferred, const std::string& fallback);

    explicit CStatusFile(std::string path);
    ~CStatusFile() override;
    CStatusFile(const CStatusFile&) = delete;
    CStatusFile& operator=(const CStatusFile&) = delete;

    // Data-path thread.
    void OnReading(const SMonitorReading& reading) override;
    void OnLinkState(const SMonitorLinkState& state) override;
    // Before the first reading: the line also tells whether the MQTT broker
    // has accepted the publisher ("mqtt":"connected" or "disconnected").
    void SetBrokerProbe(std::function<bool()> probe) { m_brokerProbe = std::move(probe); }
    // The last line is written, the file removed (a stopped service has no
    // state), and the writer joined.
    void Stop();

    // The line for a state (also for tests).
    static std::string Json(const std::string& link, const SMonitorInverter& inverter, const SMonitorReading* reading,
                            long pid);

private:
    void Compose();
    void Run();
    void WriteNow(const std::string& line);

    std::string m_strPath;
    // Data-path thread only.
    std::string m_strLink = "searching";
    SMonitorInverter m_inverter;
    SMonitorReading m_reading;
    bool m_bHasReading = false;
    std::function<bool()> m_brokerProbe;

    std::mutex m_lock;
    std::condition_variable m_cv;
    std::string m_strPending; // under m_lock
    bool m_bDirty = false;    // under m_lock
    bool m_bStop = false;     // under m_lock
    std::thread m_thread;     // last
};
