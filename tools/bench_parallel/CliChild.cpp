#include "CliChild.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(5);

// Owns the strings behind a char* vector for posix_spawn.
struct ArgumentVector {
    std::vector<std::string> strings;
    std::vector<char*> pointers;

    char** data()
    {
        pointers.clear();
        for (std::string& text : strings)
            pointers.push_back(text.data());
        pointers.push_back(nullptr);
        return pointers.data();
    }
};

ArgumentVector environmentWith(const QStringList& extra)
{
    ArgumentVector result;
    QStringList names;
    for (const QString& entry : extra)
        names << entry.section('=', 0, 0) + '=';
    for (char** entry = environ; *entry; ++entry) {
        const QString text = QString::fromLocal8Bit(*entry);
        const bool replaced = std::any_of(names.begin(), names.end(),
                                          [&](const QString& name) { return text.startsWith(name); });
        if (!replaced)
            result.strings.emplace_back(*entry);
    }
    for (const QString& entry : extra)
        result.strings.push_back(entry.toStdString());
    return result;
}

double seconds(const timeval& time)
{
    return double(time.tv_sec) + double(time.tv_usec) / 1e6;
}

} // namespace

CliChild::CliChild(const QString& program, const QStringList& arguments) : program(program), arguments(arguments) {}

void CliChild::setOutputFiles(const QString& out, const QString& err)
{
    outPath = out;
    errPath = err;
}

std::optional<CliChild::Measurement> CliChild::run(int timeoutSeconds, QString& error) const
{
    ArgumentVector argv;
    argv.strings.push_back(program.toStdString());
    for (const QString& argument : arguments)
        argv.strings.push_back(argument.toStdString());
    ArgumentVector envp = environmentWith(extraEnvironment);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    const std::string out = outPath.toStdString();
    const std::string err = errPath.toStdString();
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    const auto started = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv.strings.front().c_str(), &files, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) {
        error = "cannot start " + program + ": " + QString::fromLocal8Bit(strerror(spawned));
        return std::nullopt;
    }

    // Polled rather than blocking, so that a hung CLI is killed, not waited for.
    const auto deadline = started + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    rusage usage{};
    bool killed = false;
    pid_t reaped = 0;
    while ((reaped = wait4(pid, &status, WNOHANG, &usage)) == 0 || (reaped < 0 && errno == EINTR)) {
        if (!killed && std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            killed = true;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    const auto ended = std::chrono::steady_clock::now();
    if (reaped < 0) {
        error = "cannot wait for fwupdater-cli: " + QString::fromLocal8Bit(strerror(errno));
        return std::nullopt;
    }
    if (killed) {
        error = QString("fwupdater-cli did not end within %1 s and was killed").arg(timeoutSeconds);
        return std::nullopt;
    }
    Measurement measured;
    measured.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    measured.wallSeconds = std::chrono::duration<double>(ended - started).count();
    measured.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    return measured;
}
