#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// The dfu-util command lines of the firmware download and the OTP read.
namespace stm32_updater {

// "0X" and 8 upper-case hex digits, then ":fast:leave": the device leaves DFU
// mode on its own after the download. Without leave the device stays in DFU
// mode, so that the image can be read back first.
QString dfuDownloadLocation(std::uint32_t address, bool leave = true);

// "0x" and 8 lower-case hex digits, a colon and the size in decimal.
QString dfuUploadRange(std::uint32_t address, std::uint64_t size);

// A usbPath ("1-2", as the listing gives it) adds "-p usbPath" after the
// identifiers; without one the tool takes the only unit with them.
QStringList dfuDownloadArguments(const QString& deviceFilter, std::uint32_t address, const QString& imagePath,
                                 const QString& usbPath = QString(), bool leave = true);

QStringList dfuUploadArguments(const QString& deviceFilter, std::uint32_t address, std::uint64_t size,
                               const QString& filePath, const QString& usbPath = QString());

// Reads size bytes of flash at address (alternate setting 0) into filePath.
QStringList dfuReadBackArguments(const QString& deviceFilter, std::uint32_t address, std::uint64_t size,
                                 const QString& filePath, const QString& usbPath = QString());

// DfuSe command mode: no transfer, only the leave request; the device starts
// the code at address.
QStringList dfuLeaveArguments(const QString& deviceFilter, std::uint32_t address, const QString& usbPath = QString());

} // namespace stm32_updater
