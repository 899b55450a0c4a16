#include "ScriptedBootloader.h"

namespace {

constexpr int kRequestWaitMs = 5000;

} // namespace

ScriptedBootloader::ScriptedBootloader(PseudoTerminal& line, std::vector<Exchange> script)
    : steps(std::move(script)), runner([this, &line] { run(line, steps); })
{
}

ScriptedBootloader::~ScriptedBootloader()
{
    finish();
}

QString ScriptedBootloader::finish()
{
    if (runner.joinable())
        runner.join();
    return mismatch;
}

void ScriptedBootloader::run(PseudoTerminal& line, const std::vector<Exchange>& script)
{
    for (std::size_t step = 0; step < script.size(); ++step) {
        const QByteArray& expected = script[step].request;
        const QByteArray received = line.receive(static_cast<int>(expected.size()), kRequestWaitMs);
        if (received != expected) {
            mismatch = QStringLiteral("step %1: expected %2, got %3")
                           .arg(step)
                           .arg(QString::fromLatin1(expected.toHex(' ')), QString::fromLatin1(received.toHex(' ')));
            return;
        }
        line.send(script[step].reply);
    }
}
