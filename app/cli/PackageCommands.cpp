#include "PackageCommands.h"

#include "PackageCreate.h"
#include "PackageVerify.h"

#include "SigningKey.h"

#include <QDir>

namespace {

ExitCode runKeygen(const Console& console, const PackageOptions& options)
{
    QString base = options.out;
    if (base.endsWith(QLatin1String(".key")) || base.endsWith(QLatin1String(".pub")))
        base.chop(4);
    QString error;
    const std::optional<SigningKey> key = SigningKey::generate(error);
    if (!key || !key->save(base, error)) {
        console.tell(QStringLiteral("No key pair was made: %1.").arg(error));
        return ExitCode::UsageOrInput;
    }
    const QString shown = QDir::toNativeSeparators(base);
    console.line(QStringLiteral("%1.key  private key: signs packages; keep it on the release machine only").arg(shown));
    console.line(QStringLiteral("%1.pub  public key: copy it into Resources/keys/ of every machine that updates "
                                "units")
                     .arg(shown));
    return ExitCode::Done;
}

} // namespace

ExitCode runPackageCommand(const Console& console, const PackageOptions& options)
{
    switch (options.action) {
    case PackageOptions::Action::Keygen:
        return runKeygen(console, options);
    case PackageOptions::Action::Create:
        return runPackageCreate(console, options);
    case PackageOptions::Action::Verify:
        return runPackageVerify(console, options);
    }
    return ExitCode::UsageOrInput;
}
