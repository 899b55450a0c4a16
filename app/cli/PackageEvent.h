#pragma once

#include "FirmwarePackage.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// The "package" event: the file and what its manifest says, with the key
// that signed it.
inline QJsonObject packageEvent(const QString& file, const FirmwarePackage& package)
{
    const PackageManifest& manifest = package.manifest;
    QJsonArray models;
    for (const uint8_t model : manifest.models)
        models.append(model);
    QJsonObject event{{QStringLiteral("event"), QStringLiteral("package")},
                      {QStringLiteral("file"), file},
                      {QStringLiteral("valid"), true},
                      {QStringLiteral("product"), manifest.product},
                      {QStringLiteral("version"), manifest.version},
                      {QStringLiteral("interface"), manifest.interfaceName},
                      {QStringLiteral("models"), models},
                      {QStringLiteral("image"), manifest.image},
                      {QStringLiteral("size"), manifest.size},
                      {QStringLiteral("sha256"), manifest.sha256},
                      {QStringLiteral("created"), manifest.created.toString(Qt::ISODate)},
                      {QStringLiteral("key"), package.keyName}};
    if (manifest.programmingAddress)
        event.insert(QStringLiteral("programming_address"), PackageManifest::addressText(*manifest.programmingAddress));
    if (manifest.notes)
        event.insert(QStringLiteral("notes"), *manifest.notes);
    return event;
}
