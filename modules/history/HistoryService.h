#pragma once

#include "AttemptRecord.h"
#include "HistoryLocation.h"
#include "WorkQueue.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <functional>
#include <memory>
#include <optional>

class HistoryLink;

// The history for the update flow: every database call runs on a thread of
// its own, in the order asked, so a slow or absent server never holds up an
// update. Its calls return at once; answers come back on the asking object's
// thread.
class HistoryService : public QObject {
    Q_OBJECT

public:
    using Notify = std::function<void(const QString& text)>;
    using DoneAnswer = std::function<void(const std::optional<AttemptRecord>& done)>;

    static constexpr int kRetryIntervalMs = 10000;

    HistoryService(const HistoryLocation& location, const QString& localPath, const QString& station, Notify warn,
                   QObject* parent = nullptr);
    // Writes everything asked for so far, then stops the thread.
    ~HistoryService() override;

    // Opens the history in the background; the first write waits for it.
    void open();
    // Opens the history and waits for the outcome: for lines that must not
    // update without a complete record.
    bool openAndWait(QString& error);

    const QString& station() const { return station_name; }
    bool isOff() const { return off; }

    void save(const AttemptRecord& record);
    // The latest "done" row of this unit with this image, answered on this
    // object's thread unless `context` (living there too) is gone by then.
    void findDone(const QString& serialNumber, const QString& imageSha256, QObject* context, DoneAnswer answer);

private:
    void onThread(std::function<void()> work);
    void startRetryTimer();

    QThread thread;
    WorkQueue* worker;  // lives on `thread`
    WorkQueue* replies; // lives on this object's thread
    std::unique_ptr<HistoryLink> link; // used on `thread` only
    QString station_name;
    bool off;
};
