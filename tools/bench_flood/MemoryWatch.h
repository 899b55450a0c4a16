#pragma once

// Resident memory of this process, sampled once a second while the event loop
// runs, so queued slots and socket notifiers keep working meanwhile.
class MemoryWatch {
public:
    struct Figures {
        long startKiB = 0;
        long peakKiB = 0;
        long endKiB = 0;
        bool aborted = false; // stopped early: memory passed the safety limit
    };

    // Prints one line per second, prefixed with `label`.
    static Figures run(const char* label, int seconds);
    static long residentKiB();

private:
    static constexpr long kSafetyLimitKiB = 1024 * 1024;
};
