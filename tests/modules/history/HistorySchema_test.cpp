#include "HistoryRecords.h"
#include "HistorySchema.h"
#include "HistoryStore.h"
#include "PostgresServer.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>
#include <memory>

using history_test::attempt;
using history_test::sqliteAt;

namespace {

// A database as the first version of the program left it, with one row.
class Version1Database {
public:
    explicit Version1Database(const std::function<void(QSqlDatabase&)>& configure, const QString& driver)
        : name(QUuid::createUuid().toString())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, name);
        configure(db);
    }
    ~Version1Database()
    {
        database().close();
        QSqlDatabase::removeDatabase(name);
    }
    QSqlDatabase database() const { return QSqlDatabase::database(name, false); }

    void build()
    {
        QSqlDatabase db = database();
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        QString error;
        ASSERT_TRUE(HistorySchema::ensure(db, error, 1)) << error.toStdString();
        ASSERT_EQ(HistorySchema::versionOf(db), 1);
        QSqlQuery insert(db);
        insert.prepare("INSERT INTO attempts (attempt_uid, started_utc, ended_utc, station, front_end, serial_number, "
                       "image_sha256, outcome, seconds) VALUES ('old-1', '2025-01-02T03:04:05.000Z', "
                       "'2025-01-02T03:04:12.000Z', 'station-a', 'window', 'SN-OLD', 'aa11', 'done', 7)");
        ASSERT_TRUE(insert.exec()) << insert.lastError().text().toStdString();
        ASSERT_FALSE(db.record("attempts").contains("image_version"));
    }

    QString name;
};

// Opening an old database brings it to the current version and keeps its rows.
void expectUpgraded(HistoryStore& store, Version1Database& old)
{
    QString error;
    ASSERT_TRUE(store.open(error)) << error.toStdString();
    QSqlDatabase db = old.database();
    EXPECT_EQ(HistorySchema::versionOf(db), HistorySchema::kCurrentVersion);

    QList<AttemptRecord> rows;
    ASSERT_TRUE(store.query({.serialNumber = "SN-OLD"}, rows, error)) << error.toStdString();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.first().outcome, QStringLiteral("done"));
    EXPECT_EQ(rows.first().imageVersion, QString());
    EXPECT_FALSE(rows.first().verified);
    std::optional<AttemptRecord> done;
    ASSERT_TRUE(store.lastDone("SN-OLD", "aa11", done, error));
    EXPECT_TRUE(done);

    AttemptRecord fresh = attempt("SN-NEW", "done");
    fresh.verified = true;
    ASSERT_TRUE(store.save(fresh, true, error)) << error.toStdString();
    rows.clear();
    ASSERT_TRUE(store.query({.serialNumber = "SN-NEW"}, rows, error));
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.first().verified, true);
    EXPECT_EQ(rows.first().imageVersion, QStringLiteral("1.4.0"));
}

TEST(HistorySchema, UpgradesAnSqliteFileFromTheFirstVersion)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("old.sqlite");
    Version1Database old([&](QSqlDatabase& db) { db.setDatabaseName(path); }, "QSQLITE");
    old.build();

    HistoryStore store(sqliteAt(path));
    expectUpgraded(store, old);
}

TEST(HistorySchema, UpgradesAPostgresDatabaseFromTheFirstVersion)
{
    PostgresServer server;
    QString error;
    ASSERT_TRUE(server.start(error)) << error.toStdString();
    ASSERT_TRUE(server.createDatabase("upgrade", error)) << error.toStdString();
    Version1Database old(
        [&](QSqlDatabase& db) {
            db.setHostName(server.socketFolder());
            db.setUserName(PostgresServer::kUser);
            db.setDatabaseName("upgrade");
        },
        "QPSQL");
    old.build();

    const std::optional<HistoryLocation> location = HistoryLocation::parse(server.url("upgrade"), QString(), error);
    ASSERT_TRUE(location) << error.toStdString();
    HistoryStore store(*location);
    expectUpgraded(store, old);
}

// An upgrade that fails half-way leaves the database as it was.
TEST(HistorySchema, AFailedUpgradeChangesNothing)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("old.sqlite");
    Version1Database old([&](QSqlDatabase& db) { db.setDatabaseName(path); }, "QSQLITE");
    old.build();
    QSqlDatabase db = old.database();
    // The index the second version creates already exists, so its last step fails.
    ASSERT_TRUE(QSqlQuery(db).exec("CREATE INDEX attempts_started ON attempts (station)"));

    QString error;
    EXPECT_FALSE(HistorySchema::ensure(db, error));
    EXPECT_TRUE(error.contains("version 2")) << error.toStdString();
    EXPECT_EQ(HistorySchema::versionOf(db), 1);
    EXPECT_FALSE(db.record("attempts").contains("image_version"));
}

TEST(HistorySchema, RefusesADatabaseOfANewerProgram)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("new.sqlite");
    {
        HistoryStore store(sqliteAt(path));
        QString error;
        ASSERT_TRUE(store.open(error));
    }
    Version1Database newer([&](QSqlDatabase& db) { db.setDatabaseName(path); }, "QSQLITE");
    QSqlDatabase db = newer.database();
    ASSERT_TRUE(db.open());
    ASSERT_TRUE(QSqlQuery(db).exec("UPDATE history_schema SET version = 99"));

    HistoryStore store(sqliteAt(path));
    QString error;
    EXPECT_FALSE(store.open(error));
    EXPECT_TRUE(error.contains("newer program")) << error.toStdString();
}

} // namespace
