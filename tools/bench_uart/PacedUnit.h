#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QProcess>
#include <QString>

// One simulated STM32 bootloader paced like a real line, for a single bench
// run. It notes when each full write block was reported, so the write phase
// is timed the same way whichever client drives the unit.
class PacedUnit {
public:
    struct WritePhase {
        int blocks = 0;         // full blocks after the first one
        double seconds = 0.0;   // from the first full block to the last
    };

    PacedUnit(const QString& folder, const QString& name, int baud);
    ~PacedUnit();
    PacedUnit(const PacedUnit&) = delete;
    PacedUnit& operator=(const PacedUnit&) = delete;

    bool isReady() const { return ready; }
    QString path() const { return linkPath; }
    QByteArray flash() const;
    // Waits up to `timeoutMs` for output and takes in what came.
    void poll(int timeoutMs);
    WritePhase writePhase() const;
    QString errorLog() const { return QString::fromLocal8Bit(errorText); }

private:
    void takeLines();

    QString linkPath;
    QString flashPath;
    QProcess process;
    QElapsedTimer clock;
    QByteArray partialLine;
    QByteArray errorText;
    QList<qint64> fullBlockTimesNs;
    bool ready = false;
};
