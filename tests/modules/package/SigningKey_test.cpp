#include "SigningKey.h"
#include "TrustedKeys.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class SigningKeyFiles : public ::testing::Test {
protected:
    QString base() const { return folder.filePath(QStringLiteral("release")); }
    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir folder;
};

TEST_F(SigningKeyFiles, PrivateKeyIsReadableByItsOwnerOnly)
{
    QString error;
    const std::optional<SigningKey> key = SigningKey::generate(error);
    ASSERT_TRUE(key && key->save(base(), error)) << error.toStdString();

    EXPECT_EQ(QFile::permissions(base() + ".key"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                       QFileDevice::ReadUser | QFileDevice::WriteUser);
    EXPECT_TRUE(QFile::permissions(base() + ".pub") & QFileDevice::ReadOther);
}

TEST_F(SigningKeyFiles, SavedKeysSignAndVerifyAfterLoading)
{
    QString error;
    ASSERT_TRUE(SigningKey::generate(error)->save(base(), error));
    const std::optional<SigningKey> loaded = SigningKey::load(base() + ".key", error);
    ASSERT_TRUE(loaded) << error.toStdString();
    QStringList problems;
    const TrustedKeys trusted = TrustedKeys::loadFolder(folder.path(), problems);

    const QByteArray message("manifest bytes");
    EXPECT_TRUE(problems.isEmpty());
    EXPECT_EQ(trusted.signerOf(message, loaded->sign(message)), QStringLiteral("release"));
    EXPECT_FALSE(trusted.signerOf("manifest byteS", loaded->sign(message)));
    EXPECT_FALSE(trusted.signerOf(message, loaded->sign(message).left(63)));
}

TEST_F(SigningKeyFiles, NeverReplacesAKey)
{
    QString error;
    ASSERT_TRUE(SigningKey::generate(error)->save(base(), error));
    const QByteArray before = [&] {
        QFile file(base() + ".key");
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();

    EXPECT_FALSE(SigningKey::generate(error)->save(base(), error));
    EXPECT_TRUE(error.contains(QStringLiteral("exists already"))) << error.toStdString();
    QFile file(base() + ".key");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

TEST_F(SigningKeyFiles, KeyFilesOfTheWrongKindOrFormAreRefused)
{
    QString error;
    ASSERT_TRUE(SigningKey::generate(error)->save(base(), error));
    QFile::copy(base() + ".key", folder.filePath("private-as-public.pub"));
    write("short.pub", "fwupdater ed25519 public key\nAAAA\n");
    write("no-header.pub", "KhsuvcrTbSmwBZjchYJkBKNEtR2ZaxWG+AFxnPzBG9U=\n");
    QStringList problems;

    const TrustedKeys trusted = TrustedKeys::loadFolder(folder.path(), problems);

    EXPECT_EQ(trusted.names(), QStringList{"release"});
    EXPECT_EQ(problems.size(), 3) << problems.join('\n').toStdString();
    EXPECT_FALSE(SigningKey::load(base() + ".pub", error));
    EXPECT_TRUE(error.contains(QStringLiteral("private key"))) << error.toStdString();
}

} // namespace
