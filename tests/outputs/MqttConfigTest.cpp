// The [mqtt] section as the service reads it from its TOML file.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "outputs/MqttConfig.h"

namespace {

class MqttConfigTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/zelvan-mqttconf-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        m_strFolder = name;
        m_strFile = m_strFolder + "/zelvand.toml";
    }
    void TearDown() override { std::filesystem::remove_all(m_strFolder); }

    std::string Write(const std::string& name, const std::string& text, mode_t mode = 0600) const
    {
        const std::string path = m_strFolder + "/" + name;
        std::ofstream(path) << text;
        ::chmod(path.c_str(), mode);
        return path;
    }

    // Reads the [mqtt] section of `text` as the file m_strFile.
    bool Read(const std::string& text, SMqttConfig& config, std::string& error, std::string& warning) const
    {
        const toml::table file = toml::parse(text, m_strFile);
        return ReadMqttConfig(*file["mqtt"].as_table(), m_strFile, config, error, warning);
    }

    std::string m_strFolder;
    std::string m_strFile;
};

TEST_F(MqttConfigTest, DefaultsAndAFullSectionWithTlsAndAPasswordFile)
{
    SMqttConfig config;
    std::string error, warning;
    ASSERT_TRUE(Read("[mqtt]\n", config, error, warning)) << error;
    EXPECT_EQ(config.nPort, 1883);
    EXPECT_EQ(config.strPrefix, "zelvan");
    EXPECT_EQ(config.strDiscoveryPrefix, "homeassistant");
    EXPECT_EQ(config.nInterval, 10);
    EXPECT_FALSE(config.UsesTls());

    Write("ca.crt", "x");
    Write("client.crt", "x");
    Write("client.key", "x");
    Write("mqtt.pass", "top secret\n");
    ASSERT_TRUE(Read(R"([mqtt]
host = "broker.lan"
client_id = "roof"
keepalive = 30
username = "meter"
password_file = "mqtt.pass"
ca_file = "ca.crt"
cert_file = "client.crt"
key_file = "client.key"
prefix = "site/roof"
discovery_prefix = ""
interval = 5
)",
                     config, error, warning))
        << error;
    EXPECT_EQ(config.nPort, 8883) << "TLS moves the default port";
    EXPECT_EQ(config.strPassword, "top secret");
    EXPECT_EQ(config.strCaFile, m_strFolder + "/ca.crt") << "relative to the configuration file";
    EXPECT_EQ(config.strPrefix, "site/roof");
    EXPECT_TRUE(config.strDiscoveryPrefix.empty());
    EXPECT_EQ(config.nInterval, 5);
    EXPECT_TRUE(warning.empty()) << warning;
}

TEST_F(MqttConfigTest, BadValuesNameFileLineAndKeyAndLeaveTheConfigAlone)
{
    Write("mqtt.pass", "pw\n");
    const struct {
        const char* pszSection;
        const char* pszExpected;
    } kCases[] = {
        {"[mqtt]\nhost = \"a\"\nhots = \"b\"\n", "zelvand.toml:3: mqtt.hots: unknown key"},
        {"[mqtt]\nport = \"1883\"\n", "zelvand.toml:2: mqtt.port: must be an integer"},
        {"[mqtt]\n\nport = 70000\n", "zelvand.toml:3: mqtt.port: 70000 is out of range (1 to 65535)"},
        {"[mqtt]\ninterval = 0\n", "zelvand.toml:2: mqtt.interval: 0 is out of range"},
        {"[mqtt]\nkeepalive = 2\n", "zelvand.toml:2: mqtt.keepalive: 2 is out of range"},
        {"[mqtt]\nprefix = \"a/#\"\n", "zelvand.toml:2: mqtt.prefix: \"a/#\" is no topic prefix"},
        {"[mqtt]\nca_file = \"missing.crt\"\n", "zelvand.toml:2: mqtt.ca_file: \"" },
        {"[mqtt]\nusername = \"u\"\npassword_file = \"nope\"\n", "zelvand.toml:3: mqtt.password_file: \""},
        {"[mqtt]\npassword_file = \"mqtt.pass\"\n", "zelvand.toml:2: mqtt.password_file: a password needs a username"},
    };
    for (const auto& c : kCases) {
        SMqttConfig config;
        config.strHost = "untouched";
        std::string error, warning;
        EXPECT_FALSE(Read(c.pszSection, config, error, warning)) << c.pszSection;
        EXPECT_EQ(error.rfind(m_strFile.substr(0, m_strFile.size() - 12) + c.pszExpected, 0), 0u)
            << "got: " << error;
        EXPECT_EQ(config.strHost, "untouched");
    }
    SMqttConfig config;
    std::string error, warning;
    ASSERT_FALSE(Read("[mqtt]\nca_file = \"missing.crt\"\n", config, error, warning));
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
}

TEST_F(MqttConfigTest, APasswordFileOthersCanReadGivesAWarningWithoutThePassword)
{
    Write("mqtt.pass", "visible-secret\n", 0644);
    SMqttConfig config;
    std::string error, warning;
    ASSERT_TRUE(Read("[mqtt]\nusername = \"u\"\npassword_file = \"mqtt.pass\"\n", config, error, warning)) << error;
    EXPECT_NE(warning.find("mqtt.pass"), std::string::npos) << warning;
    EXPECT_EQ(warning.find("visible-secret"), std::string::npos);
    EXPECT_EQ(config.strPassword, "visible-secret");
}

} // namespace
