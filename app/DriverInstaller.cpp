#include "DriverInstaller.h"

#include <QDebug>
#include <QDir>
#include <QProcess>

QString DriverInstaller::packagePath(const QString& applicationDir, InterfaceType type)
{
    const QString relative = type == InterfaceType::Usb
                                 ? QStringLiteral("/Resources/driver/usb/Lumavex_STM32-based_device.inf")
                                 : QStringLiteral("/Resources/driver/uart/silabser.inf");
    return QDir::toNativeSeparators(applicationDir + relative);
}

QStringList DriverInstaller::arguments(const QString& packagePath)
{
    return {QStringLiteral("/add-driver"), packagePath, QStringLiteral("/install")};
}

void DriverInstaller::install(const QString& applicationDir, InterfaceType type, int startTimeoutMs,
                              int finishTimeoutMs)
{
    QProcess process;
    process.start(QString::fromLatin1(kTool), arguments(packagePath(applicationDir, type)),
                  QIODevice::ReadWrite);
    if (!process.waitForStarted(startTimeoutMs))
        qCritical() << "Error in waitForStarted(): " << process.errorString();
    if (!process.waitForFinished(finishTimeoutMs))
        qCritical() << "Error in waitForFinished(): " << process.errorString();
}
