#include "Application.h"

#include "MainWindow.h"
#include "StartupConfig.h"
#include "UpdaterFactory.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QStyleFactory>
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
    int exitCode = 0;
    {
        MainWindow window(resourcesDir, &settings, dfuUtilPath, config.interfaceType,
                          createUpdater(config, dfuUtilPath).release());
        window.show();
        exitCode = application.exec();
    }
    return exitCode;
}
