#include "SimOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

bool ParseInteger(const std::string& text, long long min, long long max, long long& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    // Decimal, or hexadecimal with 0x; never octal, so leading zeros are harmless.
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const long long v = std::strtoll(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    out = v;
    return true;
}

bool ParseNumber(const std::string& text, double min, double max, double& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !(v >= min && v <= max))
        return false;
    out = v;
    return true;
}

// "HH:MM" or "HH:MM:SS" into seconds since midnight.
bool ParseTimeOfDay(const std::string& text, double& seconds)
{
    int h = 0, m = 0, s = 0;
    char extra = 0;
    const int n = std::sscanf(text.c_str(), "%d:%d:%d%c", &h, &m, &s, &extra);
    if ((n != 2 && n != 3) || h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59)
        return false;
    seconds = h * 3600.0 + m * 60.0 + s;
    return true;
}

bool ParseSwitch(const std::string& text, bool& on)
{
    if (text.empty() || text == "on" || text == "1" || text == "yes") {
        on = true;
        return true;
    }
    if (text == "off" || text == "0" || text == "no") {
        on = false;
        return true;
    }
    return false;
}

// One fault setting by name, shared by the command line and standard input.
// Returns an empty text on success, else what is wrong. Unknown names give "?".
std::string SetFault(const std::string& name, const std::string& value, SimFaults& f)
{
    long long n = 0;
    auto percent = [&](int& field) -> std::string {
        if (!ParseInteger(value, 0, 100, n))
            return name + " needs a share from 0 to 100 (percent)";
        field = static_cast<int>(n);
        return {};
    };
    if (name == "silence") {
        bool on = false;
        if (!ParseSwitch(value, on))
            return "silence takes on or off";
        f.bSilence = on;
        return {};
    }
    if (name == "drop")
        return percent(f.nDropPercent);
    if (name == "bad-crc")
        return percent(f.nBadCrcPercent);
    if (name == "cut")
        return percent(f.nCutPercent);
    if (name == "exception")
        return percent(f.nExceptionPercent);
    if (name == "noise") {
        if (!ParseInteger(value, 0, 200, n))
            return "noise needs a number of bytes from 0 to 200";
        f.nNoiseBytes = static_cast<int>(n);
        return {};
    }
    if (name == "slow") {
        if (!ParseInteger(value, 0, 60000, n))
            return "slow needs milliseconds from 0 to 60000";
        f.nSlowMs = static_cast<int>(n);
        return {};
    }
    if (name == "fault-word") {
        if (value == "off" || value == "auto") {
            f.bFaultWordSet = false;
            f.dwFaultWord = 0;
            return {};
        }
        if (!ParseInteger(value, 0, 0xFFFFFFFFll, n))
            return "fault-word needs a number from 0 to 0xFFFFFFFF, or off";
        f.bFaultWordSet = true;
        f.dwFaultWord = static_cast<std::uint32_t>(n);
        return {};
    }
    if (name == "state") {
        if (value == "auto" || value == "off") {
            f.nStateCode = -1;
            return {};
        }
        if (!ParseInteger(value, 0, 65535, n))
            return "state needs a code from 0 to 65535, or auto";
        f.nStateCode = static_cast<int>(n);
        return {};
    }
    return "?";
}

} // namespace

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& o, std::string& error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (name.rfind("--", 0) != 0) {
            error = "unexpected argument '" + name + "' (see --help)";
            return false;
        }
        name.erase(0, 2);
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
            hasValue = true;
        }
        if (name == "help") {
            o.bHelp = true;
            continue;
        }
        if (name == "silence") { // the one switch that needs no value
            if (!hasValue)
                value = "on";
            hasValue = true;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                error = "--" + name + " needs a value (see --help)";
                return false;
            }
            value = args[++i];
        }
        long long n = 0;
        double d = 0;
        std::string problem;
        if (name == "protocol") {
            if (!ParseInteger(value, 0, 2, n))
                problem = "--protocol must be 0, 1 or 2";
            else
                o.identity.nProtocolType = static_cast<int>(n);
        } else if (name == "address") {
            if (!ParseInteger(value, 1, 255, n))
                problem = "--address must be from 1 to 255";
            else
                o.identity.nAddress = static_cast<int>(n);
        } else if (name == "serial") {
            if (value.size() > 12 || value.find_first_not_of("0123456789") != std::string::npos ||
                !ParseInteger(value, 0, 999999999999ll, n))
                problem = "--serial must be up to 12 decimal digits";
            else
                o.identity.qwSerial = static_cast<std::uint64_t>(n);
        } else if (name == "model-code") {
            if (!ParseInteger(value, 0, 0xFFFFFFFFll, n))
                problem = "--model-code must be a number (0x for hexadecimal)";
            else
                o.identity.nModelCode = n;
        } else if (name == "version") {
            const bool prefixed = !value.empty() && (value[0] == 'V' || value[0] == 'v');
            if (!ParseNumber(prefixed ? value.substr(1) : value, 0, 99.99, d))
                problem = "--version must look like V8.05";
            else
                o.identity.strVersion = value;
        } else if (name == "seed") {
            if (!ParseInteger(value, 0, 0xFFFFFFFFll, n))
                problem = "--seed must be a number";
            else
                o.identity.dwSeed = static_cast<std::uint32_t>(n);
        } else if (name == "speed") {
            if (!ParseNumber(value, 0.001, 100000, d))
                problem = "--speed must be a factor from 0.001 to 100000";
            else
                o.time.dScale = d;
        } else if (name == "start") {
            if (!ParseTimeOfDay(value, d))
                problem = "--start must be a time of day HH:MM or HH:MM:SS";
            else {
                o.time.dStartSecondOfDay = d;
                o.bStartGiven = true;
            }
        } else if (name == "turnaround") {
            if (!ParseInteger(value, 0, 10000, n))
                problem = "--turnaround must be milliseconds from 0 to 10000";
            else
                o.nTurnaroundMs = static_cast<int>(n);
        } else if (name == "port") {
            o.strPort = value;
        } else if (name == "link") {
            o.strLink = value;
        } else {
            problem = SetFault(name, value, o.faults);
            if (problem == "?")
                problem = "unknown option --" + name + " (see --help)";
            else if (!problem.empty())
                problem = "--" + problem;
        }
        if (!problem.empty()) {
            error = problem;
            return false;
        }
    }
    if (o.identity.nProtocolType != 2 && o.identity.nModelCode > 0xFFFF) {
        error = "--model-code must fit 16 bits under protocols 0 and 1";
        return false;
    }
    return true;
}

bool ApplySimCommand(const std::string& line, SimFaults& faults, std::string& answer)
{
    std::istringstream in(line);
    std::string name, value, extra;
    in >> name >> value >> extra;
    if (name.empty()) {
        answer.clear();
        return true;
    }
    if (!extra.empty()) {
        answer = "error: too many words; type help";
        return false;
    }
    if (name == "status") {
        answer = DescribeFaults(faults);
        return true;
    }
    if (name == "clear") {
        faults = SimFaults{};
        answer = "ok " + DescribeFaults(faults);
        return true;
    }
    if (name == "help") {
        answer = "commands: silence on|off, drop %, bad-crc %, cut %, exception %, noise BYTES, slow MS, "
                 "fault-word N|off, state N|auto, get REG [COUNT], unplug MS, clear, status";
        return true;
    }
    if (name != "silence" && value.empty()) {
        answer = "error: " + name + " needs a value; type help";
        return false;
    }
    const std::string problem = SetFault(name, value, faults);
    if (problem == "?") {
        answer = "error: unknown command " + name + "; type help";
        return false;
    }
    if (!problem.empty()) {
        answer = "error: " + problem;
        return false;
    }
    answer = "ok " + DescribeFaults(faults);
    return true;
}

std::string DescribeFaults(const SimFaults& f)
{
    std::ostringstream s;
    s << "silence " << (f.bSilence ? "on" : "off") << ", drop " << f.nDropPercent << ", bad-crc " << f.nBadCrcPercent
      << ", cut " << f.nCutPercent << ", exception " << f.nExceptionPercent << ", noise " << f.nNoiseBytes << ", slow "
      << f.nSlowMs << ", fault-word ";
    if (f.bFaultWordSet)
        s << "0x" << std::hex << f.dwFaultWord << std::dec;
    else
        s << "off";
    s << ", state ";
    if (f.nStateCode >= 0)
        s << f.nStateCode;
    else
        s << "auto";
    return s.str();
}

std::string SimHelpText()
{
    return R"(Usage: zelvan-sim [options]

Pretends to be a PV inverter on a serial line, so Zelvan can be tried without
hardware. It opens a new pseudo-terminal, prints its path (for example
/dev/pts/7) as the first line, and answers Zelvan's requests until you press
Ctrl+C. Point Zelvan at it with ZELVAN_SERIAL_PORTS=/dev/pts/7 (several ports
are separated by colons).

The inverter:
  --protocol 0|1|2    how it is addressed: 0 by its serial number, 1 by a Modbus
                      address with the small parameter numbers, 2 by a Modbus
                      address with the 3xxxx/4xxxx registers (default 1)
  --address N         its Modbus address, 1 to 255 (default 1)
  --serial DIGITS     its serial number, up to 12 digits (default 123456789012)
  --model-code N      its model code (default: a 3 kW model, 30 under protocols
                      0 and 1, 0x4000 under protocol 2); 0x... for hexadecimal
  --version TEXT      its software version, for example V8.05 (the default)

The line:
  --port PATH         use this serial device instead of a new pseudo-terminal
  --link PATH         also make a symbolic link to the pseudo-terminal here
                      (removed again when the simulator stops)
  --turnaround MS     pause between a request and its reply (default 10)

The day:
  --start HH:MM[:SS]  simulated time of day at start (default: the clock's)
  --speed FACTOR      how much faster than real time the day runs, for
                      example 60 to see a whole day in 24 minutes (default 1)
  --seed N            weather of the simulated days; the same seed gives the
                      same days and the same random faults (default 1)

Faults on the line (off unless given; all can be changed while running):
  --silence           answer nothing at all
  --drop PERCENT      leave this share of replies unanswered
  --bad-crc PERCENT   send this share of replies with a wrong checksum
  --cut PERCENT       break off this share of replies part way
  --exception PERCENT answer this share of requests with a Modbus exception
                      (slave device failure) instead of the data
  --noise BYTES       send this many random bytes before each reply
  --slow MS           wait this much longer before each reply
  --fault-word N      report these fault bits (for example 0x200000); the
                      inverter then stops feeding in
  --state N           report this running-state code instead of the real one

While it runs, type a command and Enter to change a fault:
  silence on|off, drop 30, bad-crc 100, cut 50, exception 100, noise 8,
  slow 3000, fault-word 0x200000 | fault-word off, state 2 | state auto,
  clear (all faults off), status (show the faults), help.
  get REG [COUNT] shows COUNT registers (default 1, at most 125) from REG,
  numbered as the program numbers them (an index under types 0 and 1, a
  3xxxx/4xxxx register under type 2): "ok W1 W2 ..." in decimal.
  unplug 2000 closes the pseudo-terminal as if the cable were pulled and
  removes the --link name; after that many milliseconds a new one is opened
  and linked under the same name.
Each command is answered with a line starting "ok" or "error".

  --help              show this text
)";
}

bool ParseUnplugCommand(const std::string& line, int& ms, std::string& answer)
{
    std::istringstream in(line);
    std::string name, value, extra;
    in >> name >> value >> extra;
    if (name != "unplug")
        return false;
    long long n = 0;
    ms = -1;
    if (!extra.empty())
        answer = "error: too many words; type help";
    else if (!ParseInteger(value, 0, 600000, n))
        answer = "error: unplug needs milliseconds from 0 to 600000";
    else
        ms = static_cast<int>(n);
    return true;
}
