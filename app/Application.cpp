#include "Application.h"

#include "DispatcherLogTap.h"
#include "ImageCheck.h"
#include "HistoryRecorder.h"
#include "HistorySettings.h"
#include "MainWindow.h"
#include "SessionLog.h"
#include "SessionRecorder.h"
#include "UpdaterConfig.h"
#include "UpdateSession.h"
#include "UpdaterFactory.h"

#include <QApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QSettings>
#include <QStyleFactory>
#include <memory>

namespace {

// The history the window's attempts go to. A value that cannot be used is a
// warning like any other in config.ini, unless history_required=true.
std::unique_ptr<HistoryService> startHistory(const HistorySettings& history, QString& error)
{
    std::optional<HistoryLocation> location = history.resolve(QString(), error);
    if (!location) {
        error = QStringLiteral("history: %1").arg(error);
        if (history.required)
            return nullptr;
        qWarning().noquote() << error << "; nothing is recorded";
        location = HistoryLocation{};
    }
    qInfo().noquote() << "history:" << location->describe() << "station" << HistorySettings::stationName();
    return history.startService(*location, [](const QString& text) { qWarning().noquote() << text; }, error);
}

} // namespace

int runApplication(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const QString logFolder = SessionLog::defaultFolder();
    SessionLog log(logFolder + QLatin1Char('/') + SessionLog::fileNameFor(QDateTime::currentDateTime(), "window"),
                   true);
    SessionLog::prune(logFolder, log.path());
    DispatcherLogTap dispatcherLog(log);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("fusion")));
    const QDir resourcesDir(QCoreApplication::applicationDirPath() + QStringLiteral("/Resources"));
    QSettings settings(resourcesDir.filePath(QStringLiteral("config.ini")), QSettings::IniFormat);

    const UpdaterConfig config = UpdaterConfig::read(settings, resourcesDir);
    QString error;
    const std::unique_ptr<HistoryService> history = startHistory(config.history, error);
    if (!history) {
        qCritical().noquote() << error;
        return 2;
    }
    int exitCode = 0;
    {
        MainWindow window(config, &settings, createUpdater(config.startup, config.dfuUtilPath).release());
        window.updateSession().setImageCheck(ImageCheck::forSession(config.startup));
        // Owned by the session, so it still records an update the closing window waits for.
        new SessionRecorder(log, window.updateSession(), &window.updateSession());
        new HistoryRecorder(*history, window.updateSession(),
                            {QStringLiteral("window"), SessionRecorder::interfaceName(config.startup.interfaceType),
                             QString()},
                            &window.updateSession());
        SessionRecorder::recordStart(log, QStringLiteral("fwupdater"), config.configPath, config.startup,
                                     ImageInfo::read(config.startup.firmwarePath));
        window.show();
        exitCode = application.exec();
    }
    return exitCode;
}
