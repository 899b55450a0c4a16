#include "HistoryLink.h"

#include <QDebug>
#include <QDir>

HistoryLink::HistoryLink(const HistoryLocation& historyLocation, const QString& localPath, const QString& stationName,
                         Notify warning)
    : location(historyLocation),
      local_path(localPath),
      station(stationName),
      warn(std::move(warning)),
      process_start(QDateTime::currentDateTimeUtc())
{
    if (location.isOff())
        return;
    HistoryLocation own = location;
    if (usesServer()) {
        server = std::make_unique<HistoryStore>(location);
        own = HistoryLocation{};
        own.kind = HistoryLocation::Kind::Sqlite;
        own.sqlitePath = localPath;
    }
    file = std::make_unique<HistoryStore>(own, usesServer());
}

bool HistoryLink::open(QString& error)
{
    if (location.isOff())
        return true;
    QString fileError;
    if (!file->open(fileError)) {
        file_failed = true;
        const QString text = QStringLiteral("Cannot open the history file %1 (%2).")
                                 .arg(QDir::toNativeSeparators(file->location().sqlitePath), fileError);
        if (!usesServer()) {
            error = text;
            warn(text + QStringLiteral(" The updates go on without a history."));
            return false;
        }
        warn(text + QStringLiteral(" Attempts go to the history server only."));
    }
    if (!usesServer())
        return true;
    return connectServer(true, error);
}

void HistoryLink::markLeftRunning()
{
    QString ignored;
    // In the station's own file first: with a server, the change is sent like any row.
    if (file && !file_failed)
        file->markInterrupted(station, process_start, !usesServer(), ignored);
    if (serverAnswers())
        server->markInterrupted(station, process_start, true, ignored);
    sendQuietly();
}

bool HistoryLink::connectServer(bool force, QString& error)
{
    if (server->isOpen())
        return true;
    if (!force && away_since.isValid() && away_since.elapsed() < kRetryIntervalMs) {
        error = QStringLiteral("the history server was away moments ago");
        return false;
    }
    if (!server->open(error)) {
        serverLost(error);
        return false;
    }
    if (warned_away)
        qInfo().noquote() << "history: the server" << location.describe() << "answers again";
    away_since.invalidate();
    warned_away = false;
    return true;
}

void HistoryLink::serverLost(const QString& error)
{
    server->close();
    away_since.start();
    const QString text =
        file_failed ? QStringLiteral("The history server (%1) cannot be reached (%2), and the history file cannot be "
                                     "written either: attempts are not recorded.")
                          .arg(location.describe(), error)
                    : QStringLiteral("The history server (%1) cannot be reached (%2). Attempts wait in %3 and are "
                                     "sent when it answers again (or with fwupdater-cli history sync).")
                          .arg(location.describe(), error, QDir::toNativeSeparators(local_path));
    if (!warned_away)
        warn(text);
    warned_away = true;
}

void HistoryLink::warnOnce(const QString& text)
{
    if (file_failed)
        return;
    file_failed = true;
    warn(text);
}

void HistoryLink::save(const AttemptRecord& record)
{
    if (location.isOff())
        return;
    QString error;
    const bool inFile = !file_failed && file->save(record, !usesServer(), error);
    if (!inFile && !file_failed) {
        warnOnce(QStringLiteral("Cannot write the history file %1 (%2); the updates go on without it.")
                     .arg(QDir::toNativeSeparators(file->location().sqlitePath), error));
    }
    if (!usesServer())
        return;
    if (!inFile) {
        if (connectServer(false, error) && !server->save(record, true, error))
            serverLost(error);
        return;
    }
    sendQuietly();
}

void HistoryLink::sendQuietly()
{
    int sent = 0;
    QString error;
    sendWaitingRows(false, sent, error);
}

bool HistoryLink::sendWaiting(int& sent, QString& error)
{
    return sendWaitingRows(true, sent, error);
}

bool HistoryLink::sendWaitingRows(bool force, int& sent, QString& error)
{
    sent = 0;
    if (!usesServer() || file_failed)
        return true;
    if (!connectServer(force, error))
        return false;
    QList<AttemptRecord> waiting;
    if (!file->unsent(waiting, error))
        return false;
    for (const AttemptRecord& record : std::as_const(waiting)) {
        if (!server->save(record, true, error)) {
            serverLost(error);
            return false;
        }
        file->markSent(record, error);
        ++sent;
    }
    return true;
}

int HistoryLink::waitingCount()
{
    QList<AttemptRecord> waiting;
    QString error;
    if (!usesServer() || file_failed || !file->unsent(waiting, error))
        return 0;
    return int(waiting.size());
}

void HistoryLink::retryIfDue()
{
    if (usesServer() && !serverAnswers() && waitingCount() > 0)
        sendQuietly();
}

std::optional<AttemptRecord> HistoryLink::lastDone(const QString& serialNumber, const QString& imageSha256)
{
    std::optional<AttemptRecord> found;
    QString error;
    if (location.isOff() || serialNumber.isEmpty())
        return found;
    if (usesServer() && connectServer(false, error)) {
        if (server->lastDone(serialNumber, imageSha256, found, error))
            return found;
        serverLost(error);
    }
    if (!file_failed)
        file->lastDone(serialNumber, imageSha256, found, error);
    return found;
}

bool HistoryLink::query(const HistoryFilter& filter, QList<AttemptRecord>& rows, QString& error)
{
    if (location.isOff()) {
        error = QStringLiteral("the history is off (history=off)");
        return false;
    }
    if (!usesServer())
        return !file_failed && file->query(filter, rows, error);
    if (!connectServer(true, error))
        return false;
    if (server->query(filter, rows, error))
        return true;
    serverLost(error);
    return false;
}
