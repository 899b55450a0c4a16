#pragma once

// What one run of the CLI against `units` units at once measured.
struct RunFigures {
    int units = 0;
    double wallSeconds = 0;     // the CLI process, start to exit
    double meanUnitSeconds = 0; // the units' own "seconds"
    double maxUnitSeconds = 0;
    double cpuSeconds = 0;      // the CLI process, user + system
    double simulatorCpuSeconds = 0; // all the unit simulators together
};
