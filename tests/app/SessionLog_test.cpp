#include "DispatcherLogTap.h"
#include "LogMessage.h"
#include "SessionLog.h"
#include "ThreadLogTag.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Several units' back-ends log at once, each on its own thread: every line
// carries the tag of the thread that wrote it, and an untagged thread's
// lines stay as they were.
TEST(SessionLog, LinesCarryTheTagOfTheThreadThatWroteThem)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("run.log");
    {
        SessionLog log(path, false);
        QList<QThread*> units;
        for (const QString port : {"/dev/ttyACM0", "/dev/ttyACM1"}) {
            units << QThread::create([port] {
                ThreadLogTag::set(port);
                for (int i = 0; i < 20; ++i)
                    qWarning().noquote() << "back-end of" << port;
            });
        }
        for (QThread* unit : units)
            unit->start();
        qWarning() << "main thread";
        for (QThread* unit : units) {
            unit->wait();
            delete unit;
        }
    }
    const QStringList lines = readText(path).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 41) << readText(path).toStdString();
    for (const QString& line : lines) {
        static const QRegularExpression tagged(" warning \\[(\\S+)\\] back-end of (\\S+)$");
        const QRegularExpressionMatch unit = tagged.match(line);
        if (unit.hasMatch())
            EXPECT_EQ(unit.captured(1), unit.captured(2)) << line.toStdString();
        else
            EXPECT_TRUE(line.endsWith(" warning main thread")) << line.toStdString();
    }
}

TEST(SessionLog, QtMessagesFromAnyThreadGetATimestampAndTheirLevel)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("logs/run.log");
    {
        SessionLog log(path, false);
        ASSERT_TRUE(log.isWritable());
        qWarning() << "from the main thread";
        QThread* worker = QThread::create([] { qDebug() << "from a worker"; });
        worker->start();
        worker->wait();
        delete worker;
        log.info("a line of our own");
    }
    qWarning() << "after the log is gone";
    const QStringList lines = readText(path).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << readText(path).toStdString();
    const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} ");
    for (const QString& line : lines)
        EXPECT_TRUE(stamp.match(line).hasMatch()) << line.toStdString();
    EXPECT_TRUE(lines[0].endsWith("warning from the main thread"));
    EXPECT_TRUE(lines[1].endsWith("debug from a worker"));
    EXPECT_TRUE(lines[2].endsWith("info a line of our own"));
}

TEST(SessionLog, DispatcherLogLinesKeepTheirLevel)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("run.log");
    {
        SessionLog log(path, false);
        DispatcherLogTap tap(log);
        dispatcher::LogMessage(3, std::string_view("Write Memory NACK at 0x08000100"));
    }
    dispatcher::LogMessage(3, std::string_view("dropped once the tap is gone"));
    const QString text = readText(path);
    EXPECT_TRUE(text.contains(" dispatcher-3 Write Memory NACK at 0x08000100\n")) << text.toStdString();
    EXPECT_FALSE(text.contains("dropped"));
}

TEST(SessionLog, NamesSortByStartTime)
{
    const QDateTime start(QDate(2026, 12, 10), QTime(9, 5, 7, 42));
    EXPECT_EQ(SessionLog::fileNameFor(start, "cli"), "2026-12-10_09-05-07.042-cli.log");
    EXPECT_LT(SessionLog::fileNameFor(start, "window"), SessionLog::fileNameFor(start.addMSecs(1), "cli"));
}

// A file with the given name and last-modified time in the folder.
void makeFile(const QDir& dir, const QString& name, const QDateTime& modified)
{
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime)) << name.toStdString();
}

TEST(SessionLog, PruneKeepsTheNewestOfItsOwnAndNothingInUse)
{
    QTemporaryDir folder;
    const QDir dir(folder.path());
    const QDateTime weekAgo = QDateTime::currentDateTime().addDays(-7);
    for (int hour = 10; hour < 15; ++hour)
        makeFile(dir, QStringLiteral("2026-12-10_%1-00-00.000-cli.log").arg(hour), weekAgo);
    // Old by name, but written to an hour ago: a session that is still running.
    makeFile(dir, "2026-12-09_08-00-00.000-window.log", QDateTime::currentDateTime().addSecs(-3600));
    // The run's own log, even if its clock said otherwise.
    makeFile(dir, "2026-12-09_07-00-00.000-cli.log", weekAgo);
    // Someone else's files in the same folder.
    makeFile(dir, "system.log", weekAgo);
    makeFile(dir, "2026-12-09_06-00-00.000-cli.log.log", weekAgo);
    makeFile(dir, "2026-12-09_06-00-00-cli.log", weekAgo);
    makeFile(dir, "notes.txt", weekAgo);

    SessionLog::prune(folder.path(), dir.filePath("2026-12-09_07-00-00.000-cli.log"), 3);

    EXPECT_EQ(dir.entryList(QDir::Files, QDir::Name),
              (QStringList{"2026-12-09_06-00-00-cli.log", "2026-12-09_06-00-00.000-cli.log.log",
                           "2026-12-09_07-00-00.000-cli.log", "2026-12-09_08-00-00.000-window.log",
                           "2026-12-10_12-00-00.000-cli.log", "2026-12-10_13-00-00.000-cli.log",
                           "2026-12-10_14-00-00.000-cli.log", "notes.txt", "system.log"}));
}

TEST(SessionLog, AnUnwritablePlaceIsReportedNotFatal)
{
    QTemporaryDir folder;
    QFile(folder.filePath("a-file")).open(QIODevice::WriteOnly);
    SessionLog log(folder.filePath("a-file/run.log"), false);
    EXPECT_FALSE(log.isWritable());
    log.info("goes nowhere");
    qWarning() << "neither does this";
}

} // namespace
