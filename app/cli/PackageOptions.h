#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// The command line of "fwupdater-cli package keygen|create|verify". It has an
// option set of its own: here --version is the firmware's version.
struct PackageOptions {
    enum class Action { Keygen, Create, Verify };

    Action action = Action::Verify;
    bool json = false;
    QString out;
    // create
    QString imageFile;
    QString version;
    QList<uint8_t> models;
    QString interfaceName;
    QString product;
    std::optional<std::uint32_t> programmingAddress;
    std::optional<QString> notes;
    QString keyFile;
    // verify
    QString packageFile;
    QString resourcesDir;

    // `arguments` are the ones after "package". Sets `help` for --help.
    static std::optional<PackageOptions> parse(const QStringList& arguments, const QString& applicationDir,
                                               bool& help, QString& error);
};
