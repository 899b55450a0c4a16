#include "StartupConfig.h"

#include "ConfigConversions.h"
#include "ConfigValueWarning.h"

#include <QFile>
#include <QStringDecoder>
#include <limits>

namespace {

// The value as the person wrote it; a value with commas comes back as a list.
QString writtenText(const QVariant& value)
{
    return value.typeId() == QMetaType::QStringList ? value.toStringList().join(QStringLiteral(", "))
                                                    : value.toString();
}

std::uint32_t readAddress(const QSettings& settings, const QString& key)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return 0;
    const std::optional<std::uint32_t> address = config::parseAddress(value);
    if (!address)
        warnConfigValue(key, writtenText(value),
                        QStringLiteral("is not a 32-bit address (0x hexadecimal, leading 0 octal, or decimal)"),
                        QStringLiteral("using 0"));
    return address.value_or(0);
}

std::uint32_t readDecimal(const QSettings& settings, const QString& key)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return 0;
    const std::optional<std::uint32_t> number = config::parseDecimal(value);
    if (!number)
        warnConfigValue(key, writtenText(value), QStringLiteral("is not a decimal number"), QStringLiteral("using 0"));
    return number.value_or(0);
}

// A baud rate of 0, or one beyond what the port takes, opens no link.
int readBaud(const QSettings& settings)
{
    const QString key = QStringLiteral("mcuboot_baud");
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return StartupConfig::kDefaultMcubootBaud;
    const std::optional<std::uint32_t> baud = config::parseDecimal(value);
    if (!baud || *baud == 0 || *baud > static_cast<std::uint32_t>(std::numeric_limits<int>::max())) {
        warnConfigValue(key, writtenText(value), QStringLiteral("is not a usable baud rate"),
                        QStringLiteral("using 0: no unit will answer"));
        return 0;
    }
    return static_cast<int>(*baud);
}

// On unless the file says false; turning it off is worth a warning of its own.
bool readImageCheck(const QSettings& settings)
{
    const QString key = QStringLiteral("image_check");
    const QVariant value = settings.value(key);
    if (!value.isValid() || writtenText(value).trimmed().isEmpty())
        return true;
    const std::optional<bool> on = config::parseBool(value);
    if (!on)
        warnConfigValue(key, writtenText(value), QStringLiteral("is not true or false"),
                        QStringLiteral("true is used"));
    else if (!*on)
        warnConfigValue(key, writtenText(value), QStringLiteral("turns the image checks off"),
                        QStringLiteral("firmware images are written without being checked"));
    return on.value_or(true);
}

// A switch that guards the units: a value that is neither true nor false
// counts as on.
bool readRequireSignedPackage(const QSettings& settings)
{
    const QString key = QStringLiteral("require_signed_package");
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return false;
    if (const std::optional<bool> on = config::parseBool(value))
        return *on;
    warnConfigValue(key, writtenText(value), QStringLiteral("is not true or false"),
                    QStringLiteral("using true: only signed packages are written"));
    return true;
}

// "true" or "false" in any case; absent or empty is false, and so is anything else, with a warning.
bool readSwitch(const QSettings& settings, const QString& key)
{
    const QString value = writtenText(settings.value(key)).trimmed();
    if (value.isEmpty())
        return false;
    if (const std::optional<bool> on = config::parseBool(value))
        return *on;
    warnConfigValue(key, value, QStringLiteral("is not true or false"), QStringLiteral("false is used"));
    return false;
}

QString readFirmwarePath(const QSettings& settings, const QDir& resourcesDir)
{
    const QString name = settings.value("firmware_filename").toString();
    if (name.isEmpty())
        warnConfigValue(QStringLiteral("firmware_filename"), name, QStringLiteral("names no image file"),
                        QStringLiteral("using the Resources folder itself: every update fails"));
    // QDir::filePath keeps an absolute name unchanged and gives the directory
    // itself for an empty one.
    return resourcesDir.filePath(name);
}

// A file that is not text gives no keys at all, so every value is a default.
void warnAboutTheFile(const QSettings& settings)
{
    const QString key = QStringLiteral("config.ini");
    QFile file(settings.fileName());
    if (!file.open(QIODevice::ReadOnly)) {
        warnConfigValue(key, settings.fileName(), QStringLiteral("cannot be read"),
                        QStringLiteral("using the default of every key"));
        return;
    }
    const QByteArray bytes = file.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)utf8.decode(bytes);
    if (bytes.contains('\0') || utf8.hasError() || settings.status() != QSettings::NoError)
        warnConfigValue(key, settings.fileName(), QStringLiteral("is not a text settings file"),
                        QStringLiteral("using the default of every key it does not hold as text"));
}

} // namespace

StartupConfig StartupConfig::read(const QSettings& settings, const QDir& resourcesDir)
{
    warnAboutTheFile(settings);
    StartupConfig config;
    config.interfaceType = config::toInterfaceType(settings.value("interface"));
    config.firmwarePath = readFirmwarePath(settings, resourcesDir);
    config.fwTargetType = settings.value("fw_target_type").toString();
    config.bootModeAddress = readAddress(settings, QStringLiteral("boot_mode_address"));
    config.startAddress = readAddress(settings, QStringLiteral("start_address"));
    config.programmingAddress = readAddress(settings, QStringLiteral("programming_address"));
    config.otpAddress = readAddress(settings, QStringLiteral("otp_address"));
    config.otpSize = readDecimal(settings, QStringLiteral("otp_size"));
    config.mcubootBaud = readBaud(settings);
    config.imageCheck = readImageCheck(settings);
    config.requireSignedPackage = readRequireSignedPackage(settings);
    config.trustedKeysFolder = resourcesDir.filePath(QStringLiteral("keys"));
    config.verifyAfterWrite = readSwitch(settings, QStringLiteral("verify_after_write"));
    return config;
}
