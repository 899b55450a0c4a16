#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <utility>

// Writes a ZIP archive with libzip exactly as told, names and all, so tests
// can hand the package reader archives no package writer would make.
QByteArray rawZip(const QList<std::pair<QByteArray, QByteArray>>& entries);
