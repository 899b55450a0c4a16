#include "LogCapture.h"

#include <QMutex>

namespace {

QMutex logMutex;
QStringList collected;

} // namespace

LogCapture::LogCapture()
{
    QMutexLocker lock(&logMutex);
    collected.clear();
    previous = qInstallMessageHandler(&LogCapture::collect);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previous);
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&logMutex);
    return collected;
}

void LogCapture::collect(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    const char* kind = type == QtDebugMsg ? "debug" : type == QtWarningMsg ? "warning" : "other";
    QMutexLocker lock(&logMutex);
    collected << QStringLiteral("%1: %2").arg(QLatin1String(kind), message);
}
