#pragma once
// One running editor per user and display: a later launch hands its files to the
// running one over a local socket and ends, so that windows, recent documents and
// the help window are shared.
#include <functional>
#include <string>
#include <vector>

#include <QString>

namespace velkin::SingleInstance {

// The socket for this user, display and settings folder; empty where windows
// are not shown on a shared display (the offscreen and minimal platforms).
QString serverName();

// Gives the files (made absolute here, since the running editor has another
// working folder) to a running editor. True when one took them; false when none
// runs or it did not answer in time.
bool handOver(const std::vector<std::string>& files);

// Takes the files of later launches from now on, calling `open` with them (an
// empty list when a launch named no file). Returns false when the socket could
// not be opened; the editor then simply runs on its own.
bool listen(std::function<void(const std::vector<std::string>&)> open);

} // namespace velkin::SingleInstance
