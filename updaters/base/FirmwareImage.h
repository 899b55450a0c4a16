#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The firmware image of one run, read once: the bytes that are checked,
// hashed and written are the same bytes, even if the file changes meanwhile.
struct FirmwareImage {
    QString path;
    QByteArray bytes;

    // Fills `error` (why the file cannot be used) and gives nothing when it cannot be read.
    static std::optional<FirmwareImage> load(const QString& path, QString& error);

    // What a person reads when the file at `path` cannot be used.
    static QString unreadableText(const QString& path, const QString& error);

    QString fileName() const;
    QString sha256Hex() const; // lower-case hexadecimal
};
