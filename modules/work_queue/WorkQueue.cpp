#include "WorkQueue.h"

#include <utility>

void WorkQueue::post(std::function<void()> work)
{
    {
        const std::lock_guard lock(mutex);
        queued.push_back(std::move(work));
    }
    QMetaObject::invokeMethod(this, &WorkQueue::runNext, Qt::QueuedConnection);
}

void WorkQueue::runNext()
{
    std::function<void()> work;
    {
        const std::lock_guard lock(mutex);
        if (queued.empty())
            return;
        work = std::move(queued.front());
        queued.pop_front();
    }
    work();
}
