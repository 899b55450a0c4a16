// Fuzz target: config.ini as the program reads it at start-up, from a fuzzed
// file: the settings file itself, every value conversion and their warnings.
#include "ConfigConversions.h"
#include "QuietMessages.h"
#include "StartupConfig.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    quietMessages();
    static QTemporaryDir folder;
    const QDir resources(folder.path());
    {
        QFile file(resources.filePath(QStringLiteral("config.ini")));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    QSettings settings(resources.filePath(QStringLiteral("config.ini")), QSettings::IniFormat);
    const StartupConfig config = StartupConfig::read(settings, resources);
    if (config.mcubootBaud < 0)
        std::abort();
    config::toProductTable(settings.value(QStringLiteral("product_list")));
    const QList<uint8_t> ids = config::toDeviceIdList(settings.value(QStringLiteral("device_id_list")));
    // Every accepted identifier came from an entry written in the file.
    if (ids.size() > settings.value(QStringLiteral("device_id_list")).toStringList().size() + 1)
        std::abort();
    return 0;
}
