#include "Console.h"

#include <QJsonDocument>

#ifdef _WIN32
#include <io.h>
#define FWU_ISATTY _isatty
#define FWU_FILENO _fileno
#else
#include <unistd.h>
#define FWU_ISATTY isatty
#define FWU_FILENO fileno
#endif

bool Console::outputIsTerminal()
{
    return FWU_ISATTY(FWU_FILENO(stdout)) != 0;
}

void Console::event(const QJsonObject& object) const
{
    if (json_mode)
        put(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
}

void Console::line(const QString& text) const
{
    if (!json_mode)
        put(stdout, text + QLatin1Char('\n'));
}

void Console::rewrite(const QString& text) const
{
    raw(QStringLiteral("\r\033[K") + text);
}

void Console::raw(const QString& text) const
{
    if (!json_mode)
        put(stdout, text);
}

void Console::tell(const QString& text) const
{
    put(stderr, text + QLatin1Char('\n'));
}

void Console::put(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}
