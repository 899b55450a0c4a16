#pragma once

#include <QByteArray>

namespace package {

// An entry name the package may use: a plain file name, never a path, so no
// unzip tool can place it outside the folder it extracts to.
bool isSafeEntryName(const QByteArray& name);

} // namespace package
