#include "Stm32DfuUtilCommandLine.h"

namespace stm32_updater {

namespace {

QString hexAddress(std::uint32_t address)
{
    return QStringLiteral("0x%1").arg(address, 8, 16, QLatin1Char('0'));
}

// The unit: by its USB identifiers and, where one is given, by its USB path,
// which tells one unit from others with the same identifiers.
QStringList deviceArguments(const QString& deviceFilter, const QString& usbPath)
{
    QStringList arguments{QStringLiteral("-d"), deviceFilter};
    if (!usbPath.isEmpty())
        arguments << QStringLiteral("-p") << usbPath;
    return arguments;
}

} // namespace

QString dfuDownloadLocation(std::uint32_t address, bool leave)
{
    return hexAddress(address).toUpper() + (leave ? QStringLiteral(":fast:leave") : QStringLiteral(":fast"));
}

QString dfuUploadRange(std::uint32_t address, std::uint64_t size)
{
    return hexAddress(address) + QLatin1Char(':') + QString::number(size);
}

QStringList dfuDownloadArguments(const QString& deviceFilter, std::uint32_t address, const QString& imagePath,
                                 const QString& usbPath, bool leave)
{
    return deviceArguments(deviceFilter, usbPath) + QStringList{QStringLiteral("-a"), QStringLiteral("0"),
                                                                QStringLiteral("-s"), dfuDownloadLocation(address, leave),
                                                                QStringLiteral("-D"), imagePath};
}

QStringList dfuUploadArguments(const QString& deviceFilter, std::uint32_t address, std::uint64_t size,
                               const QString& filePath, const QString& usbPath)
{
    return deviceArguments(deviceFilter, usbPath) + QStringList{QStringLiteral("-a"), QStringLiteral("2"),
                                                                QStringLiteral("-s"), dfuUploadRange(address, size),
                                                                QStringLiteral("-U"), filePath};
}

QStringList dfuReadBackArguments(const QString& deviceFilter, std::uint32_t address, std::uint64_t size,
                                 const QString& filePath, const QString& usbPath)
{
    return deviceArguments(deviceFilter, usbPath) + QStringList{QStringLiteral("-a"), QStringLiteral("0"),
                                                                QStringLiteral("-s"), dfuUploadRange(address, size),
                                                                QStringLiteral("-U"), filePath};
}

QStringList dfuLeaveArguments(const QString& deviceFilter, std::uint32_t address, const QString& usbPath)
{
    return deviceArguments(deviceFilter, usbPath) + QStringList{QStringLiteral("-a"), QStringLiteral("0"),
                                                                QStringLiteral("-s"),
                                                                hexAddress(address) + QStringLiteral(":leave")};
}

} // namespace stm32_updater
