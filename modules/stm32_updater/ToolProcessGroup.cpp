#include "ToolProcessGroup.h"

#include <QProcess>
#include <array>
#include <atomic>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace stm32_updater {

namespace {

// Lock-free slots, so that a signal handler may read them at any moment.
std::array<std::atomic<qint64>, ToolProcessGroup::kMaxTools> runningTools{};
static_assert(std::atomic<qint64>::is_always_lock_free);

} // namespace

void ToolProcessGroup::separate(QProcess& process)
{
#ifdef Q_OS_WIN
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* arguments) {
        arguments->flags |= CREATE_NEW_PROCESS_GROUP;
    });
#else
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
    QObject::connect(&process, &QProcess::started, &process, [&process] {
        const qint64 pid = process.processId();
        remember(pid);
        // A process object that goes while its tool runs kills the tool.
        auto onDestroyed = std::make_shared<QMetaObject::Connection>(
            QObject::connect(&process, &QObject::destroyed, [pid] { forget(pid); }));
        QObject::connect(
            &process, &QProcess::finished, &process,
            [pid, onDestroyed] {
                forget(pid);
                QObject::disconnect(*onDestroyed);
            },
            Qt::SingleShotConnection);
    });
}

void ToolProcessGroup::interruptAll() noexcept
{
    for (const std::atomic<qint64>& slot : runningTools) {
        const qint64 pid = slot.load();
        if (pid <= 0)
            continue;
#ifdef Q_OS_WIN
        GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(pid));
#else
        ::kill(-static_cast<pid_t>(pid), SIGINT);
#endif
    }
}

void ToolProcessGroup::remember(qint64 pid) noexcept
{
    for (std::atomic<qint64>& slot : runningTools) {
        qint64 empty = 0;
        if (slot.compare_exchange_strong(empty, pid))
            return;
    }
}

void ToolProcessGroup::forget(qint64 pid) noexcept
{
    if (pid <= 0)
        return;
    for (std::atomic<qint64>& slot : runningTools) {
        qint64 expected = pid;
        if (slot.compare_exchange_strong(expected, 0))
            return;
    }
}

} // namespace stm32_updater
