#include "QtMessageCapture.h"

#include <QMutex>

namespace {

QMutex logMutex;
QStringList collected;

} // namespace

QtMessageCapture::QtMessageCapture()
{
    QMutexLocker lock(&logMutex);
    collected.clear();
    previous = qInstallMessageHandler(&QtMessageCapture::collect);
}

QtMessageCapture::~QtMessageCapture()
{
    qInstallMessageHandler(previous);
}

QStringList QtMessageCapture::lines() const
{
    QMutexLocker lock(&logMutex);
    return collected;
}

void QtMessageCapture::collect(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    const char* kind = type == QtDebugMsg ? "debug" : type == QtWarningMsg ? "warning" : "other";
    QMutexLocker lock(&logMutex);
    collected << QStringLiteral("%1: %2").arg(QLatin1String(kind), message);
}
