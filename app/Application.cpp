#include "Application.h"

#include "DispatcherLogTap.h"
#include "MainWindow.h"
#include "SessionLog.h"
#include "SessionRecorder.h"
#include "StartupConfig.h"
#include "UpdateSession.h"
#include "UpdaterFactory.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QSettings>
#include <QStyleFactory>
#include <memory>

int runApplication(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const QString logFolder = SessionLog::defaultFolder();
    SessionLog log(logFolder + QLatin1Char('/') + SessionLog::fileNameFor(QDateTime::currentDateTime(), "window"),
                   true);
    SessionLog::prune(logFolder);
    DispatcherLogTap dispatcherLog(log);
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
        // Owned by the session, so it still records an update the closing window waits for.
        new SessionRecorder(log, window.updateSession(), &window.updateSession());
        SessionRecorder::recordStart(log, QStringLiteral("fwupdater"), settings.fileName(), config,
                                     ImageInfo::read(config.firmwarePath));
        window.show();
        exitCode = application.exec();
    }
    return exitCode;
}
