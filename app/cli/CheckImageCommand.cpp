#include "CheckImageCommand.h"

#include "ImageCheck.h"

#include <QDir>
#include <QJsonObject>
#include <QJsonValue>

namespace {

QString formatName(const QString& format)
{
    return format == QLatin1String("mcuboot") ? QStringLiteral("MCUboot image (for mcuboot_serial)")
                                              : QStringLiteral("STM32 application (for uart and usb)");
}

QJsonObject imageEvent(const StartupConfig& config, const ImageCheckResult& result, ExitCode exit)
{
    QJsonObject event{{QStringLiteral("event"), QStringLiteral("image")},
                      {QStringLiteral("port"), QString()},
                      {QStringLiteral("file"), config.firmwarePath},
                      {QStringLiteral("format"), result.format},
                      {QStringLiteral("ok"), result.passed()},
                      {QStringLiteral("image_check"), config.imageCheck},
                      {QStringLiteral("exit"), static_cast<int>(exit)}};
    for (const auto& [name, value] : result.facts)
        event.insert(name, QJsonValue::fromVariant(value));
    if (!result.passed())
        event.insert(QStringLiteral("reason"), result.problem);
    return event;
}

void printFacts(const Console& console, const StartupConfig& config, const ImageCheckResult& result)
{
    console.line(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(config.firmwarePath), formatName(result.format)));
    for (const auto& [name, value] : result.facts)
        console.line(QStringLiteral("  %1 %2").arg(name, -20).arg(value.toString()));
}

} // namespace

ExitCode runCheckImageCommand(const Console& console, const StartupConfig& config, const FirmwareImage& image)
{
    const ImageCheckResult result = ImageCheck(config).run(image);
    const ExitCode exit = result.passed() ? ExitCode::Done : ExitCode::UsageOrInput;
    console.event(imageEvent(config, result, exit));
    printFacts(console, config, result);
    if (result.passed())
        console.line(QStringLiteral("The image passes the checks."));
    else
        console.tell(result.problem);
    if (!config.imageCheck)
        console.tell(QStringLiteral("image_check is false in the configuration: update writes the image without "
                                    "these checks."));
    return exit;
}
