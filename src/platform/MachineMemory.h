#pragma once
// How much memory this process can come to hold: the machine's physical
// memory, or less where a limit says so (the process's address-space or data
// limit, the memory limit of its control group).
#include <cstdint>

namespace velkin::MachineMemory {

// The physical memory of the machine, in bytes.
uint64_t physical();

// The bytes this process may hold at most, counted as resident memory is:
// the physical memory or the least of the limits set on it. An address-space
// limit counts every mapping, also those that hold no memory (the program and
// its libraries, reserved arenas): only what it leaves over them counts here.
uint64_t available();

// What of that is left to this process now: less what it holds already (a
// running program's windows and pictures), or under an address-space limit
// less everything it has mapped.
uint64_t atHand();

// Lowers the process's data limit to what it may hold, so that an allocation
// past the machine's memory fails (and can be reported) instead of growing
// until the system ends the process. Nothing when a lower limit is set already.
void capData();

} // namespace velkin::MachineMemory
