#pragma once
#include <string>
#include <vector>

#include "InverterSim.h"

// Everything the command line of zelvan-sim sets.
struct SimOptions {
    SimIdentity identity;
    SimTime time;
    bool bStartGiven = false; // otherwise simulated time starts at the local time of day
    SimFaults faults;
    int nTurnaroundMs = 10;
    std::string strPort; // a serial device instead of a new pseudo-terminal
    std::string strLink; // a symlink to the pseudo-terminal
    bool bHelp = false;
};

// Parses the arguments (without the program name). False with a message
// for the operator when one is wrong.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error);

// One line typed on standard input while the simulator runs, such as
// "drop 30" or "silence on". Fills the answer to print; false when the line
// was not understood (the answer then says why).
bool ApplySimCommand(const std::string& line, SimFaults& faults, std::string& answer);

// The current fault settings in the words of the commands.
std::string DescribeFaults(const SimFaults& faults);

std::string SimHelpText();

// "unplug MS": the line goes away for MS milliseconds (the pseudo-terminal
// is closed, and a new one is opened under the --link name afterwards).
// False when the line is another command; else fills the time, or the
// answer saying what is wrong (then the time is negative).
bool ParseUnplugCommand(const std::string& line, int& ms, std::string& answer);
