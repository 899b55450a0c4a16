#include "SessionLog.h"

#include "ThreadLogTag.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cstdio>

std::atomic<SessionLog*> SessionLog::active{nullptr};

namespace {

QString levelOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("debug");
    case QtInfoMsg:
        return QStringLiteral("info");
    case QtWarningMsg:
        return QStringLiteral("warning");
    case QtCriticalMsg:
        return QStringLiteral("critical");
    case QtFatalMsg:
        return QStringLiteral("fatal");
    }
    return QStringLiteral("unknown");
}

} // namespace

QString SessionLog::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/logs");
}

QString SessionLog::fileNameFor(const QDateTime& start, const QString& frontEnd)
{
    return start.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss.zzz")) + QLatin1Char('-') + frontEnd +
           QStringLiteral(".log");
}

void SessionLog::prune(const QString& folder, const QString& currentPath, int keep)
{
    static const QRegularExpression ownName(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.\\d{3}-[a-z]+\\.log$"));
    const QDir dir(folder);
    const QFileInfo current(currentPath);
    const QDateTime dayAgo = QDateTime::currentDateTime().addDays(-1);
    // Names start with the start time, so name order is age order.
    const QFileInfoList logs = dir.entryInfoList({QStringLiteral("*.log")}, QDir::Files, QDir::Name | QDir::Reversed);
    qsizetype ours = 0;
    for (const QFileInfo& log : logs) {
        if (!ownName.match(log.fileName()).hasMatch() || ++ours <= keep)
            continue;
        if (log != current && log.lastModified() < dayAgo)
            QFile::remove(log.filePath());
    }
}

SessionLog::SessionLog(const QString& path, bool echoQtMessages) : file(path), echo(echoQtMessages)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        reportFailure(file.errorString());
    active.store(this);
    previousHandler = qInstallMessageHandler(&SessionLog::handleQtMessage);
}

SessionLog::~SessionLog()
{
    qInstallMessageHandler(previousHandler);
    active.store(nullptr);
}

void SessionLog::write(const QString& level, const QString& text)
{
    if (failed)
        return;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    const QString tag = ThreadLogTag::current();
    const QString tagged = tag.isEmpty() ? text : QLatin1Char('[') + tag + QStringLiteral("] ") + text;
    const QByteArray line =
        (stamp + QLatin1Char(' ') + level + QLatin1Char(' ') + tagged + QLatin1Char('\n')).toUtf8();
    std::lock_guard lock(mutex);
    if (file.write(line) != line.size() || !file.flush())
        reportFailure(file.errorString());
}

void SessionLog::reportFailure(const QString& reason)
{
    if (failed.exchange(true))
        return;
    const QString text = QStringLiteral("Cannot write the session log %1 (%2); the update goes on without it.\n")
                             .arg(QDir::toNativeSeparators(file.fileName()), reason);
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void SessionLog::handleQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    SessionLog* log = active.load();
    if (!log)
        return;
    log->write(levelOf(type), message);
    if (log->echo && log->previousHandler)
        log->previousHandler(type, context, message);
    else if (log->echo)
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}
