#include "ImageCheck.h"

#include "McubootImage.h"
#include "Stm32ApplicationImage.h"
#include "Stm32DeviceTable.h"

#include <span>

namespace {

std::span<const std::uint8_t> bytesOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

QString hex32(std::uint64_t value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'));
}

QString hexText(std::span<const std::uint8_t> bytes)
{
    return QString::fromStdString(image::toHex(bytes));
}

} // namespace

ImageCheck::ImageCheck(InterfaceType interfaceType, std::uint32_t programmingAddress)
    : interfaceType(interfaceType),
      programmingAddress(programmingAddress),
      flashEnd(stm32_updater::LargestStm32FlashEnd())
{
}

UpdateSession::ImageCheck ImageCheck::forSession(const StartupConfig& config)
{
    if (!config.imageCheck)
        return {};
    return [check = ImageCheck(config)](const FirmwareImage& image) { return check.problem(image); };
}

ImageCheckResult ImageCheck::run(const FirmwareImage& image) const
{
    const QByteArray& bytes = image.bytes;
    ImageCheckResult result;
    result.fileName = image.fileName();
    result.facts.append({QStringLiteral("size"), bytes.size()});
    result.facts.append({QStringLiteral("sha256"), image.sha256Hex()});
    if (interfaceType == InterfaceType::McubootSerial)
        checkMcubootImage(bytes, result);
    else
        checkStm32Application(bytes, result);
    return result;
}

void ImageCheck::checkMcubootImage(const QByteArray& bytes, ImageCheckResult& result) const
{
    result.format = QStringLiteral("mcuboot");
    std::string reason;
    const std::optional<image::McubootImage> image = image::McubootImage::read(bytesOf(bytes), reason);
    if (!image) {
        result.problem = QStringLiteral("firmware image \"%1\" is not an MCUboot image: %2")
                             .arg(result.fileName, QString::fromStdString(reason));
        return;
    }
    result.facts.append({{QStringLiteral("header_size"), image->headerSize},
                         {QStringLiteral("image_size"), image->imageSize},
                         {QStringLiteral("protected_tlv_size"), image->protectedTlvSize},
                         {QStringLiteral("tlv_size"), image->tlvSize},
                         {QStringLiteral("padding"), static_cast<qulonglong>(image->paddingSize)},
                         {QStringLiteral("version"), QString::fromStdString(image->version.text())},
                         {QStringLiteral("load_address"), hex32(image->loadAddress)},
                         {QStringLiteral("tlv_sha256"), hexText(image->tlvHash)},
                         {QStringLiteral("hash_checked"), image->hashChecked}});
}

void ImageCheck::checkStm32Application(const QByteArray& bytes, ImageCheckResult& result) const
{
    result.format = QStringLiteral("stm32");
    std::string reason;
    const auto image = image::Stm32ApplicationImage::read(bytesOf(bytes), programmingAddress, flashEnd, reason);
    if (!image) {
        result.problem = QStringLiteral("firmware image \"%1\" is not an application for %2: %3")
                             .arg(result.fileName, hex32(programmingAddress), QString::fromStdString(reason));
        return;
    }
    const auto paddedSize = static_cast<qulonglong>(image::Stm32ApplicationImage::paddedSize(image->fileSize));
    result.facts.append({{QStringLiteral("padded_size"), paddedSize},
                         {QStringLiteral("programming_address"), hex32(image->programmingAddress)},
                         {QStringLiteral("last_address"), hex32(image->lastAddress)},
                         {QStringLiteral("flash_end"), hex32(image->flashEnd)},
                         {QStringLiteral("stack_pointer"), hex32(image->initialStackPointer)},
                         {QStringLiteral("reset_handler"), hex32(image->resetHandler)}});
}
