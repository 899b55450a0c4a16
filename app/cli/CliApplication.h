#pragma once

// The command-line front end: parses the arguments, reads the configuration,
// opens the session log and runs the command. Returns the exit code.
int runCliApplication(int argc, char* argv[]);
