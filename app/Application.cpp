#include "Application.h"

#include "MainWindow.h"
#include "StartupConfig.h"
#include "UpdaterFactory.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QStyleFactory>
#include <cstdio>
#include <memory>

int runApplication(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const QString resourcesPath = QCoreApplication::applicationDirPath() + QStringLiteral("/Resources");
    const QString dfuUtilPath = resourcesPath + QStringLiteral("/dfu-util-static");
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("fusion")));
    const QDir resourcesDir(resourcesPath);
    QSettings settings(resourcesDir.filePath(QStringLiteral("config.ini")), QSettings::IniFormat);

    const StartupConfig config = StartupConfig::read(settings, resourcesDir);
    std::unique_ptr<FirmwareUpdaterBase> updater = createUpdater(config, dfuUtilPath);
    if (!updater) {
        std::fprintf(stderr, "The interface \"%s\" is not available in this build.\n",
                     qPrintable(interfaceName(config.interfaceType)));
        return 2;
    }
    int exitCode = 0;
    {
        MainWindow window(resourcesDir, &settings, dfuUtilPath, config.interfaceType, updater.release());
        window.show();
        exitCode = application.exec();
    }
    return exitCode;
}
