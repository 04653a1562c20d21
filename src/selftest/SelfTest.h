#pragma once

namespace velkin::SelfTest {

// Runs every check in its fixed order, printing one line per check and a
// summary on standard output; true when no check failed.
bool run();

} // namespace velkin::SelfTest
