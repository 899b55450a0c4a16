#include "HistoryCommand.h"

#include "HistoryLink.h"
#include "HistoryPrinter.h"
#include "HistorySettings.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace {

// --history alone needs no configuration; otherwise config.ini's history= counts.
std::optional<HistoryLocation> locationFor(const CliOptions& options, QString& error)
{
    HistorySettings settings;
    if (options.historyUrl.isEmpty()) {
        const QFileInfo file(options.configFile);
        if (!file.isFile() || !file.isReadable()) {
            error = QStringLiteral("Cannot read the configuration %1, which names the history. Give it with "
                                   "--config, or the history with --history.")
                        .arg(QDir::toNativeSeparators(options.configFile));
            return std::nullopt;
        }
        settings = HistorySettings::read(QSettings(options.configFile, QSettings::IniFormat));
    }
    std::optional<HistoryLocation> location = settings.resolve(options.historyUrl, error);
    if (!location)
        error = QStringLiteral("The history cannot be used: %1.").arg(error);
    return location;
}

ExitCode sync(const Console& console, HistoryLink& link)
{
    if (!link.usesServer()) {
        console.tell(QStringLiteral("The history is %1: nothing waits to be sent.")
                         .arg(link.historyLocation().describe()));
        return ExitCode::Done;
    }
    QString error;
    int sent = 0;
    if (!link.open(error) || !link.sendWaiting(sent, error)) {
        console.tell(QStringLiteral("The history server (%1) cannot be reached (%2). %3 attempt(s) still wait in %4.")
                         .arg(link.historyLocation().describe(), error)
                         .arg(link.waitingCount())
                         .arg(QDir::toNativeSeparators(link.localPath())));
        return ExitCode::UpdateFailed;
    }
    qInfo().noquote() << "history sync:" << sent << "attempt(s) sent to" << link.historyLocation().describe();
    console.line(QStringLiteral("%1 attempt(s) sent to the history server; none wait.").arg(sent));
    return ExitCode::Done;
}

ExitCode query(const Console& console, const HistoryOptions& options, HistoryLink& link)
{
    QString error;
    QList<AttemptRecord> rows;
    if (!link.open(error) || !link.query(options.filter, rows, error)) {
        console.tell(QStringLiteral("Cannot read the history (%1): %2")
                         .arg(link.historyLocation().describe(), error));
        return ExitCode::UpdateFailed;
    }
    HistoryPrinter::print(console, options.format, rows);
    if (rows.isEmpty())
        console.tell(QStringLiteral("No attempt in the history matches."));
    return ExitCode::Done;
}

} // namespace

ExitCode runHistoryCommand(const Console& console, const CliOptions& options)
{
    QString error;
    const std::optional<HistoryLocation> location = locationFor(options, error);
    if (!location) {
        console.tell(error);
        return ExitCode::UsageOrInput;
    }
    if (location->isOff()) {
        console.tell(QStringLiteral("The history is off (history=off): nothing is recorded or waits to be sent."));
        return options.history.sync ? ExitCode::Done : ExitCode::UsageOrInput;
    }
    qInfo().noquote() << "fwupdater-cli history, history" << location->describe();
    // The messages of this command say what went wrong; the link's own warnings would repeat them.
    HistoryLink link(*location, HistorySettings::defaultFile(), HistorySettings::stationName(), [](const QString&) {});
    return options.history.sync ? sync(console, link) : query(console, options.history, link);
}
