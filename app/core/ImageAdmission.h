#pragma once

#include "AdmittedImage.h"
#include "InterfaceType.h"
#include "StartupConfig.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

// Decides what may be written from the firmware file, before any unit is
// touched: a plain image as it is (unless only signed packages are allowed),
// or the image inside a package that is signed by a trusted key, matches its
// manifest and was made for the configured interface and programming address.
class ImageAdmission {
public:
    explicit ImageAdmission(const StartupConfig& config);

    // A package is named .fwpkg or starts like a ZIP archive.
    static bool isPackage(const QString& path, const QByteArray& fileBytes);
    // The bytes to write, or nothing with the reason, which names the file.
    std::optional<AdmittedImage> admit(const QString& path, const QByteArray& fileBytes, QString& reason) const;
    // The model identifiers a unit may have: those of device_id_list that the
    // package also names (all of them for a plain image).
    static QList<uint8_t> acceptedModels(const QList<uint8_t>& deviceIds, const AdmittedImage& image);

private:
    QString checkFitsConfiguration(const PackageManifest& manifest) const;

    InterfaceType interface_type;
    std::uint32_t programming_address;
    bool require_signed_package;
    QString keys_folder;
};
