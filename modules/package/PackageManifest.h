#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

// manifest.json: what a package holds and which units it is for. Read
// strictly: an unknown key, a missing one or a value of the wrong kind makes
// the whole manifest unusable.
struct PackageManifest {
    static constexpr int kFormat = 1;

    QString product;
    QString version;
    QString interfaceName;  // "mcuboot_serial", "uart" or "usb"
    QList<uint8_t> models;
    QString image;  // the image's entry name in the archive
    qint64 size = 0;
    QString sha256;  // lower-case hexadecimal
    std::optional<std::uint32_t> programmingAddress;  // STM32 interfaces only
    QDateTime created;                                // UTC
    std::optional<QString> notes;

    static bool isKnownInterface(const QString& name);
    static std::optional<PackageManifest> parse(const QByteArray& json, QString& error);
    // Sets `size` and `sha256` from the image's bytes.
    void describeImage(const QByteArray& imageBytes);
    // Why this manifest cannot be written or accepted; empty when it can.
    QString problem() const;
    QByteArray toJson() const;

    static QString addressText(std::uint32_t address);
    // "5,7" for a list of model identifiers, "none" for an empty one.
    static QString modelListText(const QList<uint8_t>& ids);
    QString modelsText() const;
};
