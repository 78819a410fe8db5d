// The configuration: a bad file names file, line and key and ends the
// service with status 2 before anything starts; an output's section plugs in
// with one parser; the unit passes systemd's own check.
#include "support/XlsReaders.h"
#include "service/ConfigReader.h"
#include "service/ServiceConfig.h"
#include "support/ServiceProcess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

std::string WriteFile(const CTempFolder& folder, const std::string& name, const std::string& text)
{
    const std::string path = folder.File(name);
    std::ofstream(path) << text;
    return path;
}

} // namespace

TEST(ServiceConfig, ABadFileNamesFileLineAndKeyAndExitsTwo)
{
    CTempFolder folder;
    struct SCase {
        const char* name;
        const char* text;
        const char* where; // "LINE: KEY" after the file's name
    };
    const SCase cases[] = {
        {"not-toml", "log_level = \"info\"\nports = = 3\n", ":2:"},
        {"wrong-type", "# a comment\nhistory_dir = 5\n", ":2: history_dir: expected a string"},
        {"out-of-range", "\nprotocol = 7\n", ":2: protocol: out of range"},
        {"bad-word", "protocol = \"1\"\n", ":1: protocol: expected \"auto\", 0, 1 or 2"},
        {"list-of-numbers", "ports = [\"/dev/ttyUSB0\", 3]\n", ":1: ports: expected a list of strings"},
        {"relative", "history_dir = \"hisdata\"\n", ":1: history_dir: expected an absolute path"},
        {"unknown-key", "log_level = \"debug\"\n\ncolour = \"blue\"\n", ":3: colour: unknown key"},
        {"unknown-section", "[weather]\nsky = 1\n", ":1: weather: unknown section"},
        {"bad-level", "log_level = \"loud\"\n", ":1: log_level: expected"},
        {"mqtt-no-ca", "[mqtt]\nhost = \"h\"\nca_file = \"/none/ca.crt\"\n", ":3: mqtt.ca_file: \"/none/ca.crt\" does not exist"},
        {"mqtt-no-password", "[mqtt]\nusername = \"u\"\npassword_file = \"/none/pw\"\n", ":3: mqtt.password_file:"},
        {"mqtt-unknown-key", "[mqtt]\n\nretain = true\n", ":3: mqtt.retain: unknown key"},
    };
    for (const SCase& c : cases) {
        const std::string path = WriteFile(folder, std::string(c.name) + ".toml", c.text);
        CServiceProcess service;
        EXPECT_EQ(service.RunToEnd({"--config", path, "--check-config"}), 2) << c.name;
        const std::string text = service.Text();
        EXPECT_NE(text.find("<3>" + path + c.where), std::string::npos) << c.name << ": " << text;
        EXPECT_EQ(service.Lines().size(), 1u) << "one clear line: " << text;
    }

    // Not started either: no broker session, no poll thread.
    CServiceProcess noCa;
    EXPECT_EQ(noCa.RunToEnd({"--config", folder.File("mqtt-no-ca.toml"), "--port", "/dev/null"}), 2);
    EXPECT_EQ(noCa.Lines().size(), 1u) << noCa.Text();

    // A password others can read: a warning naming the file, never its content.
    const std::string password = WriteFile(folder, "mqtt.password", "open-Pa55\n");
    ASSERT_EQ(::chmod(password.c_str(), 0644), 0);
    CServiceProcess shared;
    EXPECT_EQ(shared.RunToEnd({"--config", WriteFile(folder, "mqtt-shared.toml",
                                                      "[mqtt]\nusername = \"u\"\npassword_file = \"mqtt.password\"\n"),
                               "--check-config"}),
              0);
    EXPECT_NE(shared.Text().find("<4>"), std::string::npos) << shared.Text();
    EXPECT_NE(shared.Text().find(password + "\" can be read by other users"), std::string::npos) << shared.Text();
    EXPECT_EQ(shared.Text().find("open-Pa55"), std::string::npos) << shared.Text();

    CServiceProcess missing;
    EXPECT_EQ(missing.RunToEnd({"--config", folder.File("none.toml"), "--port", "/dev/null"}), 2);
    EXPECT_NE(missing.Text().find(folder.File("none.toml") + ": cannot be read"), std::string::npos);

    // The installed example is a good file, and so is an empty one.
    CServiceProcess example;
    EXPECT_EQ(example.RunToEnd({"--config", std::string(ZELVAN_PACKAGING_DIR) + "/zelvand.toml", "--check-config"}),
              0)
        << example.Text();
    CServiceProcess empty;
    EXPECT_EQ(empty.RunToEnd({"--config", WriteFile(folder, "empty.toml", ""), "--check-config"}), 0);

    CServiceProcess badOption;
    EXPECT_EQ(badOption.RunToEnd({"--protocol", "3"}), 2);
}

// An output's section: one parser registered under its name reads its keys;
// a key it does not read is an unknown key, named with its section.
TEST(ServiceConfig, AnOutputSectionPlugsInWithOneParser)
{
    struct SMqtt {
        std::string strHost;
        std::int64_t nPort = 1883;
    } mqtt;
    SServiceConfig config;
    CConfigReader reader;
    reader.AddSection("mqtt", [&mqtt](CConfigSection& s) {
        mqtt.strHost = s.String("host").value_or("");
        mqtt.nPort = s.Integer("port", 1, 65535).value_or(mqtt.nPort);
    });
    const auto top = [&config](CConfigSection& s) { ReadServiceKeys(s, config); };

    const SConfigResult good =
        reader.ReadText("protocol = 2\nports = [\"/dev/ttyUSB1\"]\n[mqtt]\nhost = \"127.0.0.1\"\nport = 1884\n",
                        "z.toml", top);
    EXPECT_TRUE(good.bOk) << good.strError;
    EXPECT_EQ(config.nProtocolType, 2);
    EXPECT_EQ(config.astrPorts, std::vector<std::string>{"/dev/ttyUSB1"});
    EXPECT_EQ(mqtt.strHost, "127.0.0.1");
    EXPECT_EQ(mqtt.nPort, 1884);

    const SConfigResult unknown = reader.ReadText("[mqtt]\nhost = \"h\"\npassword_file = 3\n", "z.toml", top);
    EXPECT_EQ(unknown.strError, "z.toml:3: mqtt.password_file: unknown key");
    const SConfigResult range = reader.ReadText("[mqtt]\nport = 70000\n", "z.toml", top);
    EXPECT_EQ(range.strError, "z.toml:2: mqtt.port: out of range (1 to 65535)");
    const SConfigResult notTable = reader.ReadText("mqtt = 1\n", "z.toml", top);
    EXPECT_FALSE(notTable.bOk);
    EXPECT_NE(notTable.strError.find("z.toml:1: mqtt: expected a section"), std::string::npos);
}

// The unit as packaged, with the program of this build in its ExecStart.
TEST(ServiceUnit, PassesSystemdsVerify)
{
    if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "systemd-analyze is not installed";
    CTempFolder folder;
    std::ifstream in(std::string(ZELVAN_PACKAGING_DIR) + "/zelvand.service");
    std::stringstream text;
    text << in.rdbuf();
    const std::string unit =
        std::regex_replace(text.str(), std::regex("/usr/bin/zelvand"), CServiceProcess::ProgramPath());
    ASSERT_NE(unit, text.str());
    const std::string path = WriteFile(folder, "zelvand.service", unit);
    const std::string command = "systemd-analyze verify --man=no '" + path + "' 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    EXPECT_EQ(::pclose(pipe), 0) << output;
    EXPECT_EQ(output, "");
}
