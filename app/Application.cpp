#include "Application.h"

#include "DispatcherLogTap.h"
#include "MainWindow.h"
#include "SessionLog.h"
#include "SessionRecorder.h"
#include "UpdaterConfig.h"
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
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("fusion")));
    const QDir resourcesDir(QCoreApplication::applicationDirPath() + QStringLiteral("/Resources"));
    QSettings settings(resourcesDir.filePath(QStringLiteral("config.ini")), QSettings::IniFormat);

    const UpdaterConfig config = UpdaterConfig::read(settings, resourcesDir);
    int exitCode = 0;
    {
        MainWindow window(config, &settings, createUpdater(config.startup, config.dfuUtilPath).release());
        // Owned by the session, so it still records an update the closing window waits for.
        new SessionRecorder(log, window.updateSession(), &window.updateSession());
        SessionRecorder::recordStart(log, QStringLiteral("fwupdater"), config.configPath, config.startup,
                                     ImageInfo::read(config.startup.firmwarePath));
        window.show();
        exitCode = application.exec();
    }
    return exitCode;
}
