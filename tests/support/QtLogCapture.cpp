#include "QtLogCapture.h"

#include <QMutex>

namespace {

QMutex logMutex;
QStringList collected;

} // namespace

QtLogCapture::QtLogCapture()
{
    QMutexLocker lock(&logMutex);
    collected.clear();
    previous = qInstallMessageHandler(&QtLogCapture::collect);
}

QtLogCapture::~QtLogCapture()
{
    qInstallMessageHandler(previous);
}

QStringList QtLogCapture::lines() const
{
    QMutexLocker lock(&logMutex);
    return collected;
}

void QtLogCapture::collect(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    const char* kind = type == QtDebugMsg ? "debug" : type == QtWarningMsg ? "warning" : "other";
    QMutexLocker lock(&logMutex);
    collected << QStringLiteral("%1: %2").arg(QLatin1String(kind), message);
}
