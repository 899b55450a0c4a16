#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace package {

// A package file's bytes, refused unread when the file is larger than any
// package can be; fills `error` when the file cannot be used.
std::optional<QByteArray> readPackageFile(const QString& path, QString& error);

} // namespace package
