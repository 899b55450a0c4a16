#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Keys and packages made by the real fwupdater-cli, as whoever releases
// firmware makes them: "package keygen", then "package create".
class ReleaseKit {
public:
    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
    };

    // Makes the key pair "release".
    ReleaseKit();

    static Run cli(const QStringList& arguments);

    // Another key pair, NAME.key and NAME.pub.
    void makeKey(const QString& name) const;
    QString privateKey(const QString& name = QStringLiteral("release")) const;
    QString publicKey(const QString& name = QStringLiteral("release")) const;
    // Copies NAME.pub into the Resources folder's keys/.
    void trustIn(const QString& resourcesDir, const QString& name = QStringLiteral("release")) const;

    // A package of the image file made with "package create" and `options`
    // (--interface, --models, ...), signed with the key named; the test fails
    // when the CLI refuses.
    QString create(const QString& imagePath, const QStringList& options, const QString& packageName,
                   const QString& keyName = QStringLiteral("release")) const;
    QString path(const QString& name) const { return folder.filePath(name); }

private:
    QTemporaryDir folder;
};
