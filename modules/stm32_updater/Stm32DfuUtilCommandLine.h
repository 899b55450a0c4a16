#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// The dfu-util command lines of the firmware download and the OTP read.
namespace stm32_updater {

// "0X" and 8 upper-case hex digits, then ":fast:leave": the device leaves DFU
// mode on its own after the download.
QString dfuDownloadLocation(std::uint32_t address);

// "0x" and 8 lower-case hex digits, a colon and the size in decimal.
QString dfuUploadRange(std::uint32_t address, std::uint64_t size);

QStringList dfuDownloadArguments(const QString& deviceFilter, std::uint32_t address, const QString& imagePath);

QStringList dfuUploadArguments(const QString& deviceFilter, std::uint32_t address, std::uint64_t size,
                               const QString& filePath);

} // namespace stm32_updater
