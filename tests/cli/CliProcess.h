#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

class QProcess;

class PseudoTerminal;

// What one run of fwupdater-cli left behind.
struct CliResult {
    int exitCode = -1;
    bool finished = false;
    QString out;
    QString err;

    QStringList outLines() const;
    // Every standard-output line parsed as a JSON object; an empty object for a
    // line that is not one.
    QList<QJsonObject> jsonLines() const;
};

// Runs fwupdater-cli as a real child process, with the units announced through
// FWUPDATER_VIRTUAL_PORTS and its application-data folder in a folder of its own.
class CliProcess {
public:
    static QString programPath();

    // Simulated units at these paths, all with the same USB identifiers.
    void announce(const QStringList& paths, const QString& ids = QStringLiteral("1209:4c55"));
    // `whileRunning` is called again and again until the run ends (to plug
    // units in, or to interrupt it); it gets the running process.
    CliResult run(const QStringList& arguments, int timeoutMs = 120000,
                  const std::function<void(QProcess&)>& whileRunning = {}) const;
    // Standard output goes to this terminal instead of a pipe; `out` is what
    // the terminal received.
    void setOutputTerminal(PseudoTerminal* terminal) { output_terminal = terminal; }
    // An environment variable of every run (FWUPDATER_STATION, ...).
    void setVariable(const QString& name, const QString& value) { variables.insert(name, value); }
    // Nobody reads standard output: the reader has gone, as with "| head -1".
    void setOutputReaderGone(bool gone) { output_reader_gone = gone; }
    // The CLI leads a process group of its own, as a shell's foreground job
    // does; a terminal's Ctrl-C is then kill(-pid, SIGINT).
    void setOwnProcessGroup(bool own) { own_process_group = own; }
    // No file the CLI writes may grow beyond this many bytes, as on a full
    // disk: a write past it fails (0: no limit).
    void setFileSizeLimit(qint64 bytes) { file_size_limit = bytes; }

    // Where the CLI keeps its session logs when not told otherwise.
    QString logFolder() const { return data.filePath(QStringLiteral("fwupdater/logs")); }

private:
    QTemporaryDir data;
    QString virtualPorts;
    QMap<QString, QString> variables;
    PseudoTerminal* output_terminal = nullptr;
    bool output_reader_gone = false;
    bool own_process_group = false;
    qint64 file_size_limit = 0;
};
