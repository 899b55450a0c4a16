#pragma once

#include <QJsonObject>
#include <QString>
#include <cstdio>

// Where the command line writes: results and progress on standard output
// (JSON lines only, with --json), messages for a person on standard error.
class Console {
public:
    explicit Console(bool json) : json_mode(json) {}

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
    static void put(std::FILE* stream, const QString& text);

    bool json_mode;
};
