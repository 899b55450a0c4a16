#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

// Work for the thread this object lives on, posted from any thread and run
// there one piece at a time, in the order posted. The work and everything it
// captured cross over under a lock of our own, not inside Qt's event queue,
// so the hand-over is plain to see for the thread checker as well.
class WorkQueue : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    void post(std::function<void()> work);

private:
    void runNext();

    std::mutex mutex;
    std::deque<std::function<void()>> queued;
};
