#include "HistoryLink.h"
#include "HistoryRecords.h"
#include "HistoryStore.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

using history_test::attempt;
using history_test::sqliteAt;

namespace {

class HistoryStoreTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(store.open(error)) << error.toStdString();
    }

    QList<AttemptRecord> rows(const HistoryFilter& filter = {})
    {
        QList<AttemptRecord> found;
        EXPECT_TRUE(store.query(filter, found, error)) << error.toStdString();
        return found;
    }

    QTemporaryDir folder;
    QString path = folder.filePath(QStringLiteral("history.sqlite"));
    HistoryStore store{sqliteAt(path)};
    QString error;
};

// A row is written as "running" and completed under the same uid: one row per attempt.
TEST_F(HistoryStoreTest, CompletesTheRowWrittenAtTheStart)
{
    const QDateTime started = QDateTime::currentDateTimeUtc();
    for (const char* outcome : {"done", "failed", "refused"}) {
        AttemptRecord record = attempt(QStringLiteral("SN-%1").arg(outcome), QStringLiteral("running"),
                                       QStringLiteral("station-a"), started);
        ASSERT_TRUE(store.save(record, true, error)) << error.toStdString();
        record.outcome = QString::fromLatin1(outcome);
        record.endedUtc = started.addMSecs(6543);
        record.seconds = 6.5;
        record.reason = QStringLiteral("reason of %1").arg(outcome);
        record.verified = record.outcome == QLatin1String("done");
        ASSERT_TRUE(store.save(record, true, error)) << error.toStdString();
    }

    const QList<AttemptRecord> found = rows();
    ASSERT_EQ(found.size(), 3);
    for (const AttemptRecord& row : found) {
        EXPECT_EQ(row.reason, QStringLiteral("reason of ") + row.outcome);
        EXPECT_EQ(row.serialNumber, QStringLiteral("SN-") + row.outcome);
        EXPECT_EQ(row.startedUtc, started);
        EXPECT_EQ(row.endedUtc, started.addMSecs(6543));
        EXPECT_DOUBLE_EQ(row.seconds, 6.5);
        EXPECT_EQ(row.modelId, 7);
        EXPECT_EQ(row.vidPid, QStringLiteral("1209:4c55"));
        EXPECT_EQ(row.imageVersion, QStringLiteral("1.4.0"));
        EXPECT_EQ(row.verified, row.outcome == QLatin1String("done"));
    }
}

// The skip rule: a done row of this serial number with this image, from any station.
TEST_F(HistoryStoreTest, FindsTheLatestDoneRowOfTheUnitAndImage)
{
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-2);
    AttemptRecord older = attempt("SN-1", "done", "station-a", start);
    AttemptRecord newer = attempt("SN-1", "done", "station-b", start.addDays(1));
    AttemptRecord failed = attempt("SN-1", "failed", "station-c", start.addDays(1).addSecs(60));
    AttemptRecord otherImage = attempt("SN-2", "done", "station-a", start);
    otherImage.imageSha256 = QStringLiteral("bb22");
    for (const AttemptRecord& record : {older, newer, failed, otherImage})
        ASSERT_TRUE(store.save(record, true, error));

    std::optional<AttemptRecord> found;
    ASSERT_TRUE(store.lastDone("SN-1", "aa11", found, error));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->station, QStringLiteral("station-b"));
    EXPECT_EQ(found->uid, newer.uid);

    const struct {
        const char* serial;
        const char* sha;
    } misses[] = {{"SN-2", "aa11"}, {"SN-3", "aa11"}, {"sn-1", "aa11"}, {"SN-1", "AA11"}};
    for (const auto& miss : misses) {
        ASSERT_TRUE(store.lastDone(miss.serial, miss.sha, found, error));
        EXPECT_FALSE(found) << miss.serial << " " << miss.sha;
    }
}

TEST_F(HistoryStoreTest, QueriesFilterAndGiveTheNewestFirst)
{
    const QDateTime base = QDateTime(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
    AttemptRecord v2 = attempt("SN-1", "done", "station-b", base.addDays(2));
    v2.imageVersion = QStringLiteral("2.0.0");
    const QList<AttemptRecord> all{attempt("SN-1", "failed", "station-a", base),
                                   attempt("SN-1", "done", "station-a", base.addDays(1)), v2,
                                   attempt("SN-2", "refused", "station-b", base.addDays(3))};
    for (const AttemptRecord& record : all)
        ASSERT_TRUE(store.save(record, true, error));

    const auto uids = [](const QList<AttemptRecord>& found) {
        QStringList list;
        for (const AttemptRecord& row : found)
            list << row.uid;
        return list;
    };
    EXPECT_EQ(uids(rows()), (QStringList{all[3].uid, all[2].uid, all[1].uid, all[0].uid}));
    EXPECT_EQ(uids(rows({.serialNumber = "SN-1"})), (QStringList{all[2].uid, all[1].uid, all[0].uid}));
    EXPECT_EQ(uids(rows({.imageVersion = "2.0.0"})), QStringList{all[2].uid});
    EXPECT_EQ(uids(rows({.outcome = "done"})), (QStringList{all[2].uid, all[1].uid}));
    EXPECT_EQ(uids(rows({.station = "station-a"})), (QStringList{all[1].uid, all[0].uid}));
    EXPECT_EQ(uids(rows({.since = base.addDays(2)})), (QStringList{all[3].uid, all[2].uid}));
    EXPECT_EQ(uids(rows({.serialNumber = "SN-1", .outcome = "done", .station = "station-b"})),
              QStringList{all[2].uid});
    EXPECT_TRUE(rows({.serialNumber = "SN-9"}).isEmpty());
}

// Values are bound, never spliced into SQL: a hostile serial number is just text.
TEST_F(HistoryStoreTest, KeepsAHostileSerialNumberAsText)
{
    const QString hostile = QStringLiteral("x'); DROP TABLE attempts; --");
    ASSERT_TRUE(store.save(attempt(hostile, "done"), true, error)) << error.toStdString();
    ASSERT_TRUE(store.save(attempt("SN-2", "done"), true, error)) << error.toStdString();

    const QList<AttemptRecord> found = rows({.serialNumber = hostile});
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found.first().serialNumber, hostile);
    std::optional<AttemptRecord> done;
    ASSERT_TRUE(store.lastDone(hostile, "aa11", done, error));
    EXPECT_TRUE(done);
    EXPECT_EQ(rows().size(), 2);
}

// A process that ended mid-update left its row "running": the next process on
// that station marks it interrupted; rows of other stations stay as they are.
TEST(HistoryLinkSqlite, MarksRowsLeftRunningByAnEarlierProcessInterrupted)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("history.sqlite"));
    const QDateTime earlier = QDateTime::currentDateTimeUtc().addSecs(-60);
    const AttemptRecord ownRow = attempt("SN-1", "running", "station-a", earlier);
    const AttemptRecord otherStation = attempt("SN-2", "running", "station-b", earlier);
    QString error;
    {
        HistoryStore earlierProcess(sqliteAt(path));
        ASSERT_TRUE(earlierProcess.open(error));
        ASSERT_TRUE(earlierProcess.save(ownRow, true, error));
        ASSERT_TRUE(earlierProcess.save(otherStation, true, error));
    }

    QStringList warnings;
    HistoryLink link(sqliteAt(path), QString(), QStringLiteral("station-a"),
                     [&](const QString& text) { warnings << text; });
    ASSERT_TRUE(link.open(error)) << error.toStdString();
    link.markLeftRunning();
    AttemptRecord current = attempt("SN-3", "running", "station-a");
    link.save(current);

    QList<AttemptRecord> found;
    ASSERT_TRUE(link.query({}, found, error));
    QMap<QString, QString> outcomes;
    for (const AttemptRecord& row : found)
        outcomes[row.uid] = row.outcome;
    EXPECT_EQ(outcomes.value(ownRow.uid), QStringLiteral("interrupted"));
    EXPECT_EQ(outcomes.value(otherStation.uid), QStringLiteral("running"));
    EXPECT_EQ(outcomes.value(current.uid), QStringLiteral("running"));
    EXPECT_TRUE(warnings.isEmpty());
}

TEST(HistoryLinkSqlite, AFileThatCannotBeWrittenWarnsOnceAndRecordsNothing)
{
    QTemporaryDir folder;
    QFile blocker(folder.filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    QStringList warnings;
    HistoryLink link(sqliteAt(blocker.fileName() + QStringLiteral("/history.sqlite")), QString(), "station-a",
                     [&](const QString& text) { warnings << text; });

    QString error;
    EXPECT_FALSE(link.open(error));
    link.save(attempt("SN-1", "done"));
    link.save(attempt("SN-2", "done"));
    EXPECT_FALSE(link.lastDone("SN-1", "aa11"));
    EXPECT_EQ(warnings.size(), 1);
}

} // namespace
