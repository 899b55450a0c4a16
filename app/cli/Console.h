#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <cstdio>
#include <functional>

// Where the command line writes: results and progress on standard output
// (JSON lines only, with --json), messages for a person on standard error.
// Text for a person goes out in the local 8-bit encoding the terminal shows;
// JSON lines are for programs and always go out as UTF-8.
class Console {
public:
    using Encoder = std::function<QByteArray(const QString&)>;

    explicit Console(bool json, Encoder localText = &Console::toLocal8Bit, std::FILE* output = stdout,
                     std::FILE* errors = stderr);

    bool isJson() const { return json_mode; }
    static bool outputIsTerminal();

    void event(const QJsonObject& object) const;
    void line(const QString& text) const;
    // Replaces the current terminal line.
    void rewrite(const QString& text) const;
    // Text as it stands (terminal control sequences included), without --json.
    void raw(const QString& text) const;
    void tell(const QString& text) const;

private:
    static QByteArray toLocal8Bit(const QString& text) { return text.toLocal8Bit(); }
    static void put(std::FILE* stream, const QByteArray& bytes);

    bool json_mode;
    Encoder local_text;
    std::FILE* output_stream;
    std::FILE* error_stream;
};
