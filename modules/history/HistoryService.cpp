#include "HistoryService.h"

#include "HistoryLink.h"

#include <QTimer>
#include <future>

HistoryService::HistoryService(const HistoryLocation& location, const QString& localPath, const QString& station,
                               Notify warn, QObject* parent)
    : QObject(parent),
      worker(new WorkQueue),
      replies(new WorkQueue(this)),
      link(std::make_unique<HistoryLink>(location, localPath, station, std::move(warn))),
      station_name(station),
      off(location.isOff())
{
    thread.setObjectName(QStringLiteral("history"));
    worker->moveToThread(&thread);
    connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    thread.start();
}

HistoryService::~HistoryService()
{
    // Queued work runs in order, so everything saved before is written when
    // this runs; the link's connections close on the thread that used them.
    onThread([this] {
        link.reset();
        QThread::currentThread()->quit();
    });
    thread.wait();
}

void HistoryService::onThread(std::function<void()> work)
{
    worker->post(std::move(work));
}

void HistoryService::open()
{
    onThread([this] {
        QString ignored;
        link->open(ignored);
        link->markLeftRunning();
        startRetryTimer();
    });
}

bool HistoryService::openAndWait(QString& error)
{
    std::promise<bool> opened;
    std::future<bool> outcome = opened.get_future();
    // The future's hand-over orders the write to `error` before the read.
    onThread([&] {
        const bool ok = link->open(error);
        link->markLeftRunning();
        startRetryTimer();
        opened.set_value(ok);
    });
    return outcome.get();
}

// While the server is away, rows waiting in the station's file go out as
// soon as it answers again, even when no unit is being updated.
void HistoryService::startRetryTimer()
{
    if (!link->usesServer())
        return;
    auto* timer = new QTimer(worker);
    timer->setInterval(kRetryIntervalMs);
    connect(timer, &QTimer::timeout, worker, [this] { link->retryIfDue(); });
    timer->start();
}

void HistoryService::save(const AttemptRecord& record)
{
    if (off)
        return;
    onThread([this, record] { link->save(record); });
}

void HistoryService::findDone(const QString& serialNumber, const QString& imageSha256, QObject* context,
                              DoneAnswer answer)
{
    QPointer<QObject> asker(context);
    onThread([this, serialNumber, imageSha256, asker, answer] {
        const std::optional<AttemptRecord> done = link->lastDone(serialNumber, imageSha256);
        // Back on this object's thread, where the asker lives and may have gone.
        replies->post([asker, answer, done] {
            if (asker)
                answer(done);
        });
    });
}
