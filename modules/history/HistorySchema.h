#pragma once

#include <QString>

class QSqlDatabase;

// The history's tables and their version. Each version adds to the one
// before, so a newer program brings an older database up to date in place,
// in one transaction: either the whole upgrade is there or none of it.
class HistorySchema {
public:
    static constexpr int kCurrentVersion = 2;

    // Creates or upgrades the tables to `version` (tests build older ones).
    // Fails on a database written by a newer program.
    static bool ensure(QSqlDatabase& db, QString& error, int version = kCurrentVersion);
    // 0 when the database has no history tables yet; -1 when it cannot be read.
    static int versionOf(QSqlDatabase& db);

    // Transactions that block other writers from the start, so two programs
    // opening one database at once cannot both create or upgrade it.
    static bool begin(QSqlDatabase& db, QString& error);
    static bool commit(QSqlDatabase& db, QString& error);
    static void rollback(QSqlDatabase& db);

    static bool isPostgres(const QSqlDatabase& db);
};
