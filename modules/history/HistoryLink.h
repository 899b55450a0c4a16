#pragma once

#include "AttemptRecord.h"
#include "HistoryFilter.h"
#include "HistoryLocation.h"
#include "HistoryStore.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

// A station's way into the history, used from one thread. With an SQLite
// history every row goes into that file. With a PostgreSQL history every row
// goes first into the station's own SQLite file, marked not yet sent, and
// then, in the order written, to the server; while the server is away the
// rows wait there and the update goes on. A row sent twice (a crash between
// the server's commit and the mark) is still one row: the server keeps one
// row per attempt uid.
class HistoryLink {
public:
    using Notify = std::function<void(const QString& text)>;

    static constexpr int kRetryIntervalMs = 5000;

    // `localPath`: the station's own SQLite file (used with a server only).
    // `warn` is told once when the history cannot be written or reached,
    // and once more for each later outage.
    HistoryLink(const HistoryLocation& location, const QString& localPath, const QString& station, Notify warn);

    // Opens the history. False, with `error`, when
    // the history cannot be written now (with a server: the rows will wait);
    // `warn` has been told then.
    bool open(QString& error);
    // Rows of this station still "running" from a process that has ended
    // become "interrupted"; then the rows that wait are sent. Only for the
    // process that updates units.
    void markLeftRunning();

    void save(const AttemptRecord& record);
    // The skip rule's question; from the station's own file while the server is away.
    std::optional<AttemptRecord> lastDone(const QString& serialNumber, const QString& imageSha256);
    bool query(const HistoryFilter& filter, QList<AttemptRecord>& rows, QString& error);
    // Sends every waiting row now; false, with `error`, when the server does
    // not answer. `sent` counts the rows sent.
    bool sendWaiting(int& sent, QString& error);
    // Rows in the station's file that the server has not had.
    int waitingCount();
    // Tries the server again when rows wait and the last try is long enough ago.
    void retryIfDue();

    bool usesServer() const { return location.isPostgres(); }
    bool serverAnswers() const { return server && server->isOpen(); }
    const HistoryLocation& historyLocation() const { return location; }
    QString localPath() const { return local_path; }

private:
    bool connectServer(bool force, QString& error);
    bool sendWaitingRows(bool force, int& sent, QString& error);
    void serverLost(const QString& error);
    void sendQuietly();
    void warnOnce(const QString& text);

    HistoryLocation location;
    QString local_path;
    QString station;
    Notify warn;
    QDateTime process_start;
    // The history itself (SQLite) or the station's own copy (with a server).
    std::unique_ptr<HistoryStore> file;
    std::unique_ptr<HistoryStore> server;
    QElapsedTimer away_since; // valid while the server is away
    bool file_failed = false;
    bool warned_away = false;
};
