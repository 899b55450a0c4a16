#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QtMessageHandler>
#include <atomic>
#include <mutex>

// The run's log file for support: every Qt message and every line written
// through it, each with a millisecond timestamp and its level. Writing is safe
// from any thread. A log that cannot be written never stops the run: it says
// so once on standard error and drops what follows.
class SessionLog {
public:
    static constexpr int kKeptFiles = 50;

    // The platform's application-data folder with "/logs" appended.
    static QString defaultFolder();
    // A name that sorts by the run's start time, e.g. 2026-12-10_14-03-05.123-cli.log.
    static QString fileNameFor(const QDateTime& start, const QString& frontEnd);
    // Deletes all but the newest `keep` of our own log files in the folder
    // (named as fileNameFor does). The current log and any log written to in
    // the last day (another session may still be running) are always kept.
    static void prune(const QString& folder, const QString& currentPath, int keep = kKeptFiles);

    // Opens (appends to) the file, creating its folder. With echo, Qt messages
    // still reach the handler that was installed before.
    SessionLog(const QString& path, bool echoQtMessages);
    ~SessionLog();
    SessionLog(const SessionLog&) = delete;
    SessionLog& operator=(const SessionLog&) = delete;

    QString path() const { return file.fileName(); }
    bool isWritable() const { return !failed; }

    void write(const QString& level, const QString& text);
    void info(const QString& text) { write(QStringLiteral("info"), text); }

private:
    static void handleQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message);
    void reportFailure(const QString& reason);

    static std::atomic<SessionLog*> active;

    QFile file;
    std::mutex mutex;
    std::atomic<bool> failed{false};
    bool echo;
    QtMessageHandler previousHandler = nullptr;
};
