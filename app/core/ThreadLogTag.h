#pragma once

#include <QString>

// A tag for the session log lines written from the calling thread, e.g. the
// port of the unit whose back-end runs on it. Each thread sees only its own
// tag, so setting and reading it needs no lock.
class ThreadLogTag {
public:
    static void set(const QString& tag);
    // Empty on a thread that was never tagged.
    static QString current();
};
