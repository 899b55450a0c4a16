#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// lumavex-unit-sim as a child process playing an MCUboot unit on a paced
// pseudo-terminal inside `folder`. Its request log goes to a file there;
// `extraArguments` are further simulator options (--model-id 7, ...).
class BenchSimulator {
public:
    static constexpr int kStartTimeoutMs = 5000;
    static constexpr int kStopTimeoutMs = 3000;

    BenchSimulator(const QString& program, const QString& folder, int baudRate,
                   const QStringList& extraArguments = {});
    ~BenchSimulator();
    BenchSimulator(const BenchSimulator&) = delete;
    BenchSimulator& operator=(const BenchSimulator&) = delete;

    // Starts the child and waits for its "ready PATH" line.
    bool start(QString& error);
    void stop();
    // Waits (bounded) for an event line starting with `prefix`.
    bool waitForEvent(const QByteArray& prefix, int timeoutMs);

    // User + system time of the running simulator so far (Linux /proc), 0 when unknown.
    double cpuSeconds() const;

    QString linkPath() const { return link; }
    QString imagePath() const { return received; }

private:
    bool takeLines(const QByteArray& prefix);

    QString program;
    QString link;
    QString received;
    QString logPath;
    int baudRate;
    QStringList extraArguments;
    QProcess process;
    QByteArray pending;
};
