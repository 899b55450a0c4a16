#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// One run of fwupdater-cli as a child process, reaped with wait4() so that
// its own CPU time is known. Standard output and error go to files.
class CliChild {
public:
    struct Measurement {
        int exitCode = -1; // -1: killed by a signal
        double wallSeconds = 0;
        double cpuSeconds = 0; // user + system of the CLI process
    };

    CliChild(const QString& program, const QStringList& arguments);

    // `environment` entries ("NAME=value") are set on top of ours.
    void setEnvironment(const QStringList& entries) { extraEnvironment = entries; }
    void setOutputFiles(const QString& out, const QString& err);

    // Runs to the end, killing the child after `timeoutSeconds`. Empty (with
    // `error` set) when it could not be started or had to be killed.
    std::optional<Measurement> run(int timeoutSeconds, QString& error) const;

private:
    QString program;
    QStringList arguments;
    QStringList extraEnvironment;
    QString outPath;
    QString errPath;
};
