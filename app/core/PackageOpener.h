#pragma once

#include "FirmwareImage.h"
#include "ImageAdmission.h"

#include <QList>
#include <QString>
#include <optional>

// A session that reads the firmware file at each update (the window) gets
// packages through this: the file is read once at start-up to learn which
// models the package is for, and at each update it is opened into its image
// and checked again.
class PackageOpener {
public:
    explicit PackageOpener(const ImageAdmission& admission) : admission(admission) {}

    // device_id_list narrowed to the models of the package at `firmwarePath`;
    // unchanged for a plain image or a file that cannot be used yet (the
    // update refuses it then). Warns when nothing is left.
    QList<uint8_t> modelsAtStartup(const QString& firmwarePath, const QList<uint8_t>& deviceIds);
    // For UpdateSession::setImageOpener.
    FirmwareImage open(const FirmwareImage& file, QString& refusal) const;

private:
    ImageAdmission admission;
    // The package's models as the connection requests use them.
    std::optional<QList<uint8_t>> startup_models;
};
