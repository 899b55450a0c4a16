#pragma once

#include <QtGlobal>

class QProcess;

namespace stm32_updater {

// dfu-util-static runs in a process group of its own: a Ctrl-C typed at the
// terminal goes to the terminal's foreground group, which then holds only
// this program, so a download is never cut off behind the program's back.
// The program decides what a Ctrl-C means and can still end every tool.
class ToolProcessGroup {
public:
    static constexpr int kMaxTools = 16;

    // Call before start(): the tool becomes the leader of a new process group
    // (a new console process group on Windows) and is remembered while it runs.
    static void separate(QProcess& process);

    // Interrupts every remembered tool's process group, as the terminal's
    // Ctrl-C would have. Safe to call from a signal handler.
    static void interruptAll() noexcept;

private:
    static void remember(qint64 pid) noexcept;
    static void forget(qint64 pid) noexcept;
};

} // namespace stm32_updater
