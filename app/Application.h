#pragma once

// Start-up: reads config.ini from the Resources folder beside the executable,
// builds the configured back-end and the window, and runs the event loop.
// Returns the process exit code.
int runApplication(int argc, char* argv[]);
