#include "ProgressDisplay.h"

#include "UnitBoard.h"

#include <QJsonObject>
#include <algorithm>

namespace {

constexpr qint64 kFirstRateAfterMs = 250;

QString kibibytes(double bytes)
{
    return QString::number(bytes / 1024.0, 'f', 1) + QStringLiteral(" KiB");
}

} // namespace

ProgressDisplay::ProgressDisplay(const Console& out, const QString& unitPort, qint64 imageSize, UnitBoard* unitBoard)
    : console(out),
      port(unitPort),
      image_size(imageSize),
      board(unitBoard),
      terminal(unitBoard ? unitBoard->isTerminal() : Console::outputIsTerminal())
{
}

// On a terminal the status replaces what was there; otherwise it is a new line.
void ProgressDisplay::show(const QString& text)
{
    if (board) {
        board->show(port, text);
        return;
    }
    if (terminal) {
        console.rewrite(text);
        line_open = true;
    } else {
        console.line(text);
    }
}

void ProgressDisplay::started()
{
    clock.start();
}

void ProgressDisplay::eraseStarted()
{
    jsonProgress(0, QStringLiteral("erase"));
    show(QStringLiteral("Erasing the unit's flash..."));
}

// The tool's erase time is not transfer time: the rate counts from here.
void ProgressDisplay::eraseFinished()
{
    clock.restart();
    last_percent = -1;
}

void ProgressDisplay::progress(int reported)
{
    const int percent = std::clamp(reported, 0, 100);
    if (percent == last_percent)
        return;
    last_percent = percent;
    jsonProgress(percent, QStringLiteral("write"));
    if (terminal) {
        show(statusText(percent));
        return;
    }
    if (percent / 10 > last_tenth) {
        last_tenth = percent / 10;
        show(statusText(percent));
    }
}

void ProgressDisplay::finished()
{
    if (terminal && line_open)
        console.line(QString());
    line_open = false;
}

QString ProgressDisplay::statusText(int percent) const
{
    const double written = static_cast<double>(image_size) * percent / 100.0;
    const double seconds = std::max<qint64>(clock.elapsed(), 1) / 1000.0;
    const double rate = written / seconds;
    QString text = QStringLiteral("%1%  %2 of %3").arg(percent, 3).arg(kibibytes(written), kibibytes(image_size));
    // Over the first moments the rate says nothing yet.
    if (written > 0 && clock.elapsed() >= kFirstRateAfterMs) {
        const double left = (static_cast<double>(image_size) - written) / rate;
        text += QStringLiteral("  %1/s  %2 s left").arg(kibibytes(rate)).arg(left, 0, 'f', 0);
    }
    return text;
}

void ProgressDisplay::jsonProgress(int percent, const QString& phase) const
{
    console.event(QJsonObject{{QStringLiteral("event"), QStringLiteral("progress")},
                              {QStringLiteral("port"), port},
                              {QStringLiteral("percent"), percent},
                              {QStringLiteral("phase"), phase}});
}
