#pragma once
// The program's entry: a batch mode chosen from the arguments, or the application.
// The HTML export runs in the executable itself (CommandLineExport.cpp, which
// needs no window system); everything else runs in the windows' library.
#include "export/OutputBudget.h"

#include <optional>
#include <string>
#include <vector>

namespace velkin::CommandLine {

// The built-in self-test: true when every check passed. It checks the shell
// too, so the program's entry hands it in rather than the shell linking it.
using SelfTestRunner = bool (*)();

// Picks the offscreen platform when no display is available, creates the
// application object, dispatches, and returns the process's exit status.
int main(int argc, char** argv, SelfTestRunner selfTest);

// Where the options end: at the first "--" that is no mode's operand, or at the
// end of the list. What follows it is file names, whatever they spell.
size_t optionsEnd(const std::vector<std::string>& arguments);
// The arguments that may be options: those before optionsEnd.
std::vector<std::string> options(const std::vector<std::string>& arguments);

// The files to open when the application starts: every argument after the
// program's path that is none of our options or flags nor an operand of a mode
// option (a name that starts with a dash is a file), and every one after "--".
// (Qt has taken its own options out by then.)
std::vector<std::string> documentArguments(const std::vector<std::string>& arguments);

// A line on standard error.
void message(const std::string& text);
// Whether the flag is one of the arguments.
bool has(const std::vector<std::string>& arguments, const char* flag);
// Index of the first occurrence of `option` that has two operands after it, or -1.
int optionWithOperands(const std::vector<std::string>& arguments, const char* option);

// Prepares the process before any application object exists: the offscreen
// platform when no display is available (true then), a private runtime
// folder when the session has none, and a file-size limit that fails a write
// instead of ending the process.
bool prepareEnvironment();

// Why IN is too long a text for the output with this machine's memory, or
// nothing; when it is not, the process's data limit is lowered to that memory,
// so that running out of it is an allocation that fails, not the end of the
// process at the system's hands.
std::optional<std::string> memoryRefusal(const std::string& in, OutputBudget::Output output);

// True when the arguments make an HTML export and nothing else.
bool exportsHTMLOnly(const std::vector<std::string>& arguments);

// --export IN OUT [--serif | --monospace]: the format comes from OUT's
// extension. `arguments` are the options (as options() gives them). Reports on
// standard error and returns the exit status.
int exportMode(const std::vector<std::string>& arguments, const std::string& in, const std::string& out);

// A whole process of HTML export (exportsHTMLOnly holds): its application
// object (Qt Core only), then exportMode.
int exportHTML(int argc, char** argv);

// The dispatch over an argument list (element 0 is the program's path); the
// application object must exist. "--selftest" anywhere runs `selfTest` when one is given.
int dispatch(const std::vector<std::string>& arguments, SelfTestRunner selfTest = nullptr);

} // namespace velkin::CommandLine
