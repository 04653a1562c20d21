#pragma once
// The program's entry: a batch mode chosen from the arguments, or the application.
#include <string>
#include <vector>

namespace velkin::CommandLine {

// Picks the offscreen platform when no display is available, creates the
// application object, dispatches, and returns the process's exit status.
int main(int argc, char** argv);

// The files to open when the application starts: every argument after the
// program's path that is not an option ("-" first) nor an operand of a mode
// option.
std::vector<std::string> documentArguments(const std::vector<std::string>& arguments);

// The dispatch over an argument list (element 0 is the program's path); the
// application object must exist.
int dispatch(const std::vector<std::string>& arguments);

} // namespace velkin::CommandLine
