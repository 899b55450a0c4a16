#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal standing in for the cable to a unit: the code under test
// opens the slave by name, the test talks through the master.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isValid() const { return master >= 0; }
    QString portName() const { return slaveName; }
    // For peers that watch the line themselves (poll, read).
    int masterDescriptor() const { return master; }

    // What the unit sends.
    bool send(const QByteArray& bytes);
    // Exactly `count` bytes from the line, or fewer when none came for `timeoutMs`.
    QByteArray receive(int count, int timeoutMs);

private:
    int master = -1;
    int slave = -1; // held open so the master never sees a hang-up between sessions
    QString slaveName;
};
