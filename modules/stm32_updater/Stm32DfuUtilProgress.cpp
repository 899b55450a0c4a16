#include "Stm32DfuUtilProgress.h"

#include <QRegularExpression>

namespace stm32_updater {

std::optional<int> lastDownloadPercent(const QString& output)
{
    // The text after the last line feed holds no line feed, so letting "."
    // match everything only makes sure it crosses the carriage returns.
    static const QRegularExpression pattern(QStringLiteral("Download.*\\]\\s*(\\d+)%"),
                                            QRegularExpression::DotMatchesEverythingOption);
    const qsizetype pieceStart = output.lastIndexOf(QLatin1Char('\n')) + 1;
    // If the earliest "Download" cannot start a match no later one can, so
    // one anchored attempt keeps noisy output linear.
    const qsizetype first = output.indexOf(QLatin1String("Download"), pieceStart);
    if (first < 0)
        return std::nullopt;
    const QRegularExpressionMatch match =
        pattern.match(output, first, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
    if (!match.hasMatch())
        return std::nullopt;
    bool converted = false;
    const int percent = match.capturedView(1).toInt(&converted);
    return converted ? std::optional<int>(percent) : std::nullopt;
}

} // namespace stm32_updater
