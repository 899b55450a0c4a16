#include "CliProcess.h"

#include "PseudoTerminal.h"
#include "WaitUntil.h"

#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

QStringList CliResult::outLines() const
{
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QList<QJsonObject> CliResult::jsonLines() const
{
    QList<QJsonObject> objects;
    for (const QString& line : outLines()) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
        objects.append(error.error == QJsonParseError::NoError && document.isObject() ? document.object()
                                                                                      : QJsonObject());
    }
    return objects;
}

QString CliProcess::programPath()
{
    return QStringLiteral(FWU_BIN_DIR "/fwupdater-cli");
}

void CliProcess::announce(const QStringList& paths, const QString& ids)
{
    QStringList entries;
    for (const QString& path : paths)
        entries << path + QLatin1Char('=') + ids;
    virtualPorts = entries.join(QLatin1Char(';'));
}

CliResult CliProcess::run(const QStringList& arguments, int timeoutMs,
                          const std::function<void(QProcess&)>& whileRunning) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("FWUPDATER_VIRTUAL_PORTS"), virtualPorts);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    for (auto variable = variables.cbegin(); variable != variables.cend(); ++variable)
        environment.insert(variable.key(), variable.value());
    QProcess process;
    process.setProcessEnvironment(environment);
    if (output_terminal)
        process.setStandardOutputFile(output_terminal->portName());
    QProcess reader;
    if (output_reader_gone) {
        process.setStandardOutputProcess(&reader);
        reader.start(QStringLiteral("head"), {QStringLiteral("-n"), QStringLiteral("1")});
    }
    // In the child before it runs the CLI.
    const auto fileSizeLimit = static_cast<rlim_t>(file_size_limit);
    process.setChildProcessModifier([ownGroup = own_process_group, fileSizeLimit] {
        if (ownGroup)
            ::setpgid(0, 0);
        if (fileSizeLimit > 0) {
            // A write past the limit then fails with EFBIG instead of ending
            // the process with SIGXFSZ.
            const rlimit fileSize{fileSizeLimit, fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &fileSize);
            std::signal(SIGXFSZ, SIG_IGN);
        }
    });
    process.start(programPath(), arguments);
    CliResult result;
    QByteArray terminalOutput;
    // The event loop keeps running, so simulators started by the test keep
    // having their output read while the CLI talks to them; the terminal is
    // drained so the CLI never blocks on it.
    result.finished = waitUntil([&] {
        if (output_terminal)
            terminalOutput += output_terminal->receive(4096, 1);
        if (whileRunning && process.state() == QProcess::Running)
            whileRunning(process);
        return process.state() == QProcess::NotRunning;
    }, timeoutMs);
    if (output_terminal)
        terminalOutput += output_terminal->receive(1 << 20, 50);
    if (!result.finished) {
        process.kill();
        process.waitForFinished();
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    if (output_reader_gone)
        reader.waitForFinished();
    result.out = QString::fromUtf8(output_terminal        ? terminalOutput
                                   : output_reader_gone ? reader.readAllStandardOutput()
                                                        : process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}
