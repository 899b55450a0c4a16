#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

// Builds a ZIP archive in memory from named byte arrays.
class ZipArchiveWriter {
public:
    void add(const QString& name, const QByteArray& content);
    // The archive's bytes; fills `error` and gives nothing when libzip fails.
    std::optional<QByteArray> finish(QString& error) const;

private:
    QList<std::pair<QString, QByteArray>> entries;
};
