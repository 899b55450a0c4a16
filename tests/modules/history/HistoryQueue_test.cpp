#include "HistoryLink.h"
#include "HistoryRecords.h"
#include "HistoryStore.h"
#include "PostgresHistoryTest.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using history_test::attempt;
using history_test::sqliteAt;

namespace {

// A station on a line whose history is on a PostgreSQL server.
class HistoryQueueTest : public PostgresHistoryTest {
protected:
    void SetUp() override
    {
        PostgresHistoryTest::SetUp();
        if (!HasFatalFailure())
            location = *HistoryLocation::parse(url, QString(), error);
    }

    std::unique_ptr<HistoryLink> station(const QString& name)
    {
        return std::make_unique<HistoryLink>(location, folder.filePath(name + ".sqlite"), name,
                                             [this](const QString& text) { warnings << text; });
    }

    QTemporaryDir folder;
    HistoryLocation location;
    QStringList warnings;
};

TEST_F(HistoryQueueTest, WritesStraightThroughWhileTheServerAnswers)
{
    auto link = station("station-a");
    ASSERT_TRUE(link->open(error)) << error.toStdString();
    AttemptRecord record = attempt("SN-1", "running", "station-a");
    link->save(record);
    record.outcome = "done";
    record.endedUtc = record.startedUtc.addSecs(5);
    link->save(record);

    const QList<AttemptRecord> rows = serverRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.first().outcome, QStringLiteral("done"));
    EXPECT_EQ(link->waitingCount(), 0);
    EXPECT_TRUE(link->lastDone("SN-1", "aa11"));
    EXPECT_TRUE(warnings.isEmpty());
}

// The server goes away mid-run: rows wait in the station's file with one
// warning, and reach the server in order, each once, when it is back.
TEST_F(HistoryQueueTest, RowsWaitWhileTheServerIsAwayAndAreSentOnce)
{
    auto link = station("station-a");
    ASSERT_TRUE(link->open(error)) << error.toStdString();
    AttemptRecord first = attempt("SN-1", "running", "station-a");
    link->save(first);

    ASSERT_TRUE(server->stop());
    first.outcome = "done";
    first.endedUtc = first.startedUtc.addSecs(5);
    link->save(first);
    const QDateTime later = first.startedUtc.addSecs(10);
    QList<AttemptRecord> waiting{attempt("SN-2", "done", "station-a", later),
                                 attempt("SN-3", "failed", "station-a", later.addSecs(1))};
    for (const AttemptRecord& record : waiting)
        link->save(record);
    EXPECT_EQ(link->waitingCount(), 3);
    EXPECT_EQ(warnings.size(), 1);
    EXPECT_FALSE(warnings.value(0).contains(location.password.isEmpty() ? "\x01" : location.password));
    // The skip rule still knows what this station did.
    EXPECT_TRUE(link->lastDone("SN-2", "aa11"));

    int sent = 0;
    EXPECT_FALSE(link->sendWaiting(sent, error));
    ASSERT_TRUE(server->start(error)) << error.toStdString();
    ASSERT_TRUE(link->sendWaiting(sent, error)) << error.toStdString();
    EXPECT_EQ(sent, 3);
    EXPECT_EQ(link->waitingCount(), 0);
    ASSERT_TRUE(link->sendWaiting(sent, error));
    EXPECT_EQ(sent, 0);

    const QList<AttemptRecord> rows = serverRows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].serialNumber, QStringLiteral("SN-3"));
    EXPECT_EQ(rows[1].serialNumber, QStringLiteral("SN-2"));
    EXPECT_EQ(rows[2].uid, first.uid);
    EXPECT_EQ(rows[2].outcome, QStringLiteral("done"));
    EXPECT_EQ(warnings.size(), 1);
}

// A crash between the server's commit and the mark in the station's file
// sends the row again; the server still holds it once.
TEST_F(HistoryQueueTest, ARowSentAgainIsStillOneRow)
{
    auto link = station("station-a");
    ASSERT_TRUE(link->open(error));
    link->save(attempt("SN-1", "done", "station-a"));
    ASSERT_EQ(serverRows().size(), 1);
    {
        HistoryStore own(sqliteAt(folder.filePath("station-a.sqlite")));
        ASSERT_TRUE(own.open(error));
        QList<AttemptRecord> rows;
        ASSERT_TRUE(own.query({}, rows, error));
        ASSERT_EQ(rows.size(), 1);
        ASSERT_TRUE(own.save(rows.first(), false, error));
    }
    EXPECT_EQ(link->waitingCount(), 1);

    int sent = 0;
    ASSERT_TRUE(link->sendWaiting(sent, error)) << error.toStdString();
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(serverRows().size(), 1);
}

// A server that is not there at start: rows wait from the first one on.
TEST_F(HistoryQueueTest, AServerAwayAtStartIsOneWarning)
{
    ASSERT_TRUE(server->stop());
    auto link = station("station-a");
    EXPECT_FALSE(link->open(error));
    link->save(attempt("SN-1", "done", "station-a"));
    EXPECT_EQ(link->waitingCount(), 1);
    EXPECT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.value(0).contains("station-a.sqlite")) << warnings.value(0).toStdString();
}

} // namespace
