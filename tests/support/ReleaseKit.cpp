#include "ReleaseKit.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

ReleaseKit::ReleaseKit()
{
    makeKey(QStringLiteral("release"));
}

ReleaseKit::Run ReleaseKit::cli(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(FWU_BIN_DIR "/fwupdater-cli"), arguments);
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "fwupdater-cli did not end: " << arguments.join(' ').toStdString();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

void ReleaseKit::makeKey(const QString& name) const
{
    const Run run = cli({"package", "keygen", "--out", folder.filePath(name)});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
}

QString ReleaseKit::privateKey(const QString& name) const
{
    return folder.filePath(name + QStringLiteral(".key"));
}

QString ReleaseKit::publicKey(const QString& name) const
{
    return folder.filePath(name + QStringLiteral(".pub"));
}

void ReleaseKit::trustIn(const QString& resourcesDir, const QString& name) const
{
    const QDir keys(QDir(resourcesDir).filePath(QStringLiteral("keys")));
    ASSERT_TRUE(keys.mkpath(QStringLiteral(".")));
    ASSERT_TRUE(QFile::copy(publicKey(name), keys.filePath(name + QStringLiteral(".pub"))));
}

QString ReleaseKit::create(const QString& imagePath, const QStringList& options, const QString& packageName,
                           const QString& keyName) const
{
    const QString out = folder.filePath(packageName);
    const Run run = cli(QStringList{"package", "create", "--image", imagePath, "--key", privateKey(keyName), "--out", out} +
                        options);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    return out;
}
