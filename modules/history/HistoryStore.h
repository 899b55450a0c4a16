#pragma once

#include "AttemptRecord.h"
#include "HistoryFilter.h"
#include "HistoryLocation.h"

#include <QList>
#include <QString>
#include <optional>

class QSqlDatabase;
class QSqlQuery;

// One connection to one history database, SQLite or PostgreSQL, used from the
// thread that opened it. Every value goes in as a bound parameter; the SQL
// texts are constants.
class HistoryStore {
public:
    // `stationCopy`: an SQLite file on this machine that only mirrors what
    // goes to a server; it is written in WAL mode without a disk flush per
    // row, which keeps it cheap (a power cut may lose its last rows, not
    // its consistency). A history kept in SQLite itself, maybe on a share,
    // keeps SQLite's defaults.
    explicit HistoryStore(const HistoryLocation& location, bool stationCopy = false);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Connects and brings the tables up to date.
    bool open(QString& error);
    bool isOpen() const;
    void close();
    const HistoryLocation& location() const { return where; }

    // Writes the row, or completes the row with the same uid. `sent` is
    // false for rows of a station's own file that the server has not had.
    bool save(const AttemptRecord& record, bool sent, QString& error);
    // Rows of the station still "running" that started before `before` (by a
    // process that is gone) become "interrupted".
    bool markInterrupted(const QString& station, const QDateTime& before, bool sent, QString& error);
    // The latest "done" row of this unit with this image, if any.
    bool lastDone(const QString& serialNumber, const QString& imageSha256, std::optional<AttemptRecord>& found,
                  QString& error);
    // Matching rows, newest first.
    bool query(const HistoryFilter& filter, QList<AttemptRecord>& rows, QString& error);
    // Rows not yet sent, in the order they were first written.
    bool unsent(QList<AttemptRecord>& rows, QString& error);
    // Marks the row sent unless it changed since it was read (another
    // program on the station completed it meanwhile: that must go out too).
    bool markSent(const AttemptRecord& record, QString& error);

private:
    bool connect(QString& error);
    QSqlDatabase database() const;
    bool execute(QSqlQuery& query, QString& error) const;
    bool readRows(QSqlQuery& query, QList<AttemptRecord>& rows, QString& error) const;

    HistoryLocation where;
    QString connection_name;
    bool station_copy;
};
