#pragma once
// The program's entry: a batch mode chosen from the arguments, or the application.
#include <string>
#include <vector>

namespace velkin::CommandLine {

// The built-in self-test: true when every check passed. It checks the shell
// too, so the program's entry hands it in rather than the shell linking it.
using SelfTestRunner = bool (*)();

// Picks the offscreen platform when no display is available, creates the
// application object, dispatches, and returns the process's exit status.
int main(int argc, char** argv, SelfTestRunner selfTest);

// The files to open when the application starts: every argument after the
// program's path that is not an option ("-" first) nor an operand of a mode
// option.
std::vector<std::string> documentArguments(const std::vector<std::string>& arguments);

// The dispatch over an argument list (element 0 is the program's path); the
// application object must exist. "--selftest" anywhere runs `selfTest` when one is given.
int dispatch(const std::vector<std::string>& arguments, SelfTestRunner selfTest = nullptr);

} // namespace velkin::CommandLine
