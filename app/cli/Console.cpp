#include "Console.h"

#include <QJsonDocument>
#include <utility>

#ifdef _WIN32
#include <io.h>
#define FWU_ISATTY _isatty
#define FWU_FILENO _fileno
#else
#include <unistd.h>
#define FWU_ISATTY isatty
#define FWU_FILENO fileno
#endif

Console::Console(bool json, Encoder localText, std::FILE* output, std::FILE* errors)
    : json_mode(json), local_text(std::move(localText)), output_stream(output), error_stream(errors)
{
}

bool Console::outputIsTerminal()
{
    return FWU_ISATTY(FWU_FILENO(stdout)) != 0;
}

void Console::event(const QJsonObject& object) const
{
    if (json_mode)
        put(output_stream, QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
}

void Console::line(const QString& text) const
{
    if (!json_mode)
        put(output_stream, local_text(text + QLatin1Char('\n')));
}

void Console::rewrite(const QString& text) const
{
    raw(QStringLiteral("\r\033[K") + text);
}

void Console::raw(const QString& text) const
{
    if (!json_mode)
        put(output_stream, local_text(text));
}

void Console::tell(const QString& text) const
{
    put(error_stream, local_text(text + QLatin1Char('\n')));
}

void Console::put(std::FILE* stream, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}
