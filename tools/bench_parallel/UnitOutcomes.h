#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// The "done" events of a --json run, one per unit, keyed by port.
class UnitOutcomes {
public:
    struct Outcome {
        bool ok = false;
        double seconds = 0;
        QString reason;
    };

    // Every line of the CLI's standard output; lines that are not a "done"
    // event are passed over.
    static UnitOutcomes fromJsonLines(const QByteArray& output);

    const QMap<QString, Outcome>& byPort() const { return outcomes; }

private:
    QMap<QString, Outcome> outcomes;
};
