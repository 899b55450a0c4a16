#include "HistorySchema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace {

// Any number: it only has to be the same in every program that upgrades.
constexpr qint64 kUpgradeLockKey = 0x66777568697374; // "fwuhist"

bool run(QSqlDatabase& db, const QString& statement, QString& error)
{
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    error = query.lastError().text();
    return false;
}

bool runAll(QSqlDatabase& db, const QStringList& statements, QString& error)
{
    for (const QString& statement : statements) {
        if (!run(db, statement, error))
            return false;
    }
    return true;
}

// Version 1: one row per attempt; `sent` marks rows of a station's own file
// that the shared server has not had yet.
QStringList version1(bool postgres)
{
    const QString id = postgres ? QStringLiteral("id BIGSERIAL PRIMARY KEY")
                                : QStringLiteral("id INTEGER PRIMARY KEY AUTOINCREMENT");
    return {QStringLiteral("CREATE TABLE history_schema (version INTEGER NOT NULL)"),
            QStringLiteral("INSERT INTO history_schema (version) VALUES (0)"),
            QStringLiteral("CREATE TABLE attempts ("
                           "%1, "
                           "attempt_uid TEXT NOT NULL UNIQUE, "
                           "started_utc TEXT NOT NULL, "
                           "ended_utc TEXT NOT NULL DEFAULT '', "
                           "station TEXT NOT NULL, "
                           "front_end TEXT NOT NULL, "
                           "port TEXT NOT NULL DEFAULT '', "
                           "vid_pid TEXT NOT NULL DEFAULT '', "
                           "serial_number TEXT NOT NULL DEFAULT '', "
                           "model_id INTEGER, "
                           "interface TEXT NOT NULL DEFAULT '', "
                           "image_name TEXT NOT NULL DEFAULT '', "
                           "image_sha256 TEXT NOT NULL DEFAULT '', "
                           "outcome TEXT NOT NULL, "
                           "reason TEXT NOT NULL DEFAULT '', "
                           "seconds DOUBLE PRECISION NOT NULL DEFAULT 0, "
                           "sent INTEGER NOT NULL DEFAULT 1)")
                .arg(id),
            QStringLiteral("CREATE INDEX attempts_station_outcome ON attempts (station, outcome)")};
}

// Version 2: the image's version from its package and whether the written
// image was read back and compared; indexes for the skip rule and queries.
QStringList version2()
{
    return {QStringLiteral("ALTER TABLE attempts ADD COLUMN image_version TEXT NOT NULL DEFAULT ''"),
            QStringLiteral("ALTER TABLE attempts ADD COLUMN verified INTEGER"),
            QStringLiteral("CREATE INDEX attempts_serial_image ON attempts (serial_number, image_sha256, outcome)"),
            QStringLiteral("CREATE INDEX attempts_started ON attempts (started_utc)")};
}

QStringList stepTo(int version, bool postgres)
{
    return version == 1 ? version1(postgres) : version2();
}

bool setVersion(QSqlDatabase& db, int version, QString& error)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("UPDATE history_schema SET version = ?"));
    query.addBindValue(version);
    if (query.exec())
        return true;
    error = query.lastError().text();
    return false;
}

bool upgrade(QSqlDatabase& db, int target, QString& error)
{
    const int found = HistorySchema::versionOf(db);
    if (found < 0) {
        error = QStringLiteral("cannot read the history's version: %1").arg(db.lastError().text());
        return false;
    }
    if (found > target) {
        error = QStringLiteral("the history was written by a newer program (version %1 of its tables; this program "
                               "knows %2); update this program")
                    .arg(found)
                    .arg(target);
        return false;
    }
    for (int version = found + 1; version <= target; ++version) {
        if (!runAll(db, stepTo(version, HistorySchema::isPostgres(db)), error) || !setVersion(db, version, error)) {
            error = QStringLiteral("cannot bring the history's tables to version %1: %2").arg(version).arg(error);
            return false;
        }
    }
    return true;
}

} // namespace

bool HistorySchema::isPostgres(const QSqlDatabase& db)
{
    return db.driverName() == QLatin1String("QPSQL");
}

int HistorySchema::versionOf(QSqlDatabase& db)
{
    if (!db.tables().contains(QStringLiteral("history_schema")))
        return 0;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT version FROM history_schema")) || !query.next())
        return -1;
    return query.value(0).toInt();
}

bool HistorySchema::begin(QSqlDatabase& db, QString& error)
{
    if (!isPostgres(db))
        return run(db, QStringLiteral("BEGIN IMMEDIATE"), error);
    if (!run(db, QStringLiteral("BEGIN"), error))
        return false;
    QSqlQuery lock(db);
    lock.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
    lock.addBindValue(kUpgradeLockKey);
    if (lock.exec())
        return true;
    error = lock.lastError().text();
    rollback(db);
    return false;
}

bool HistorySchema::commit(QSqlDatabase& db, QString& error)
{
    return run(db, QStringLiteral("COMMIT"), error);
}

void HistorySchema::rollback(QSqlDatabase& db)
{
    QString ignored;
    run(db, QStringLiteral("ROLLBACK"), ignored);
}

bool HistorySchema::ensure(QSqlDatabase& db, QString& error, int version)
{
    if (!begin(db, error))
        return false;
    if (!upgrade(db, version, error)) {
        rollback(db);
        return false;
    }
    return commit(db, error);
}
