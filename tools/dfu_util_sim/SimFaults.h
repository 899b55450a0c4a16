#pragma once

// How the simulated tool ends a run when a test asks for a fault.
namespace sim_faults {

// Ends the process by a signal, without leaving a core file.
[[noreturn]] void crash(bool abortInstead);

// Never returns; only a signal ends the process.
[[noreturn]] void hang();

void sleepMs(long milliseconds);

} // namespace sim_faults
