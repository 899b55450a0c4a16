#include "PackageOptions.h"

#include "ConfigConversions.h"
#include "PackageManifest.h"

#include <QCommandLineParser>

namespace {

const QCommandLineOption kJson(QStringLiteral("json"));
const QCommandLineOption kOut(QStringLiteral("out"), QString(), QStringLiteral("FILE"));
const QCommandLineOption kImage(QStringLiteral("image"), QString(), QStringLiteral("FILE"));
const QCommandLineOption kVersion(QStringLiteral("version"), QString(), QStringLiteral("V"));
const QCommandLineOption kModels(QStringLiteral("models"), QString(), QStringLiteral("LIST"));
const QCommandLineOption kInterface(QStringLiteral("interface"), QString(), QStringLiteral("NAME"));
const QCommandLineOption kProduct(QStringLiteral("product"), QString(), QStringLiteral("TEXT"));
const QCommandLineOption kAddress(QStringLiteral("programming-address"), QString(), QStringLiteral("ADDRESS"));
const QCommandLineOption kNotes(QStringLiteral("notes"), QString(), QStringLiteral("TEXT"));
const QCommandLineOption kKey(QStringLiteral("key"), QString(), QStringLiteral("FILE"));
const QCommandLineOption kResources(QStringLiteral("resources"), QString(), QStringLiteral("DIR"));
const QCommandLineOption kHelp(QStringList{QStringLiteral("help"), QStringLiteral("h")});

std::optional<QList<uint8_t>> parseModels(const QString& text)
{
    QList<uint8_t> models;
    for (const QString& item : text.split(QLatin1Char(','))) {
        bool ok = false;
        const uint model = item.trimmed().toUInt(&ok);
        if (!ok || model > 255)
            return std::nullopt;
        models.append(static_cast<uint8_t>(model));
    }
    return models;
}

// Options each action takes; anything else given is a mistake worth naming.
QList<const QCommandLineOption*> optionsOf(PackageOptions::Action action)
{
    switch (action) {
    case PackageOptions::Action::Keygen:
        return {&kOut};
    case PackageOptions::Action::Create:
        return {&kOut, &kImage, &kVersion, &kModels, &kInterface, &kProduct, &kAddress, &kNotes, &kKey, &kJson};
    case PackageOptions::Action::Verify:
        return {&kResources, &kJson};
    }
    return {};
}

QString checkOptionsBelong(const QCommandLineParser& parser, PackageOptions::Action action, const QString& name)
{
    const QList<const QCommandLineOption*> allowed = optionsOf(action);
    for (const QCommandLineOption* option : {&kJson, &kOut, &kImage, &kVersion, &kModels, &kInterface, &kProduct,
                                             &kAddress, &kNotes, &kKey, &kResources})
        if (parser.isSet(*option) && !allowed.contains(option))
            return QStringLiteral("package %1 takes no --%2.").arg(name, option->names().first());
    return {};
}

QString readCreateOptions(const QCommandLineParser& parser, PackageOptions& options)
{
    for (const QCommandLineOption* option : {&kImage, &kVersion, &kModels, &kInterface, &kKey, &kOut})
        if (parser.value(*option).isEmpty())
            return QStringLiteral("package create needs --%1.").arg(option->names().first());
    options.imageFile = parser.value(kImage);
    options.version = parser.value(kVersion);
    options.keyFile = parser.value(kKey);
    options.product = parser.value(kProduct);
    if (parser.isSet(kNotes))
        options.notes = parser.value(kNotes);
    const std::optional<QList<uint8_t>> models = parseModels(parser.value(kModels));
    if (!models)
        return QStringLiteral("--models needs model identifiers 0 to 255 separated by commas, like 5,7; got \"%1\".")
            .arg(parser.value(kModels));
    options.models = *models;
    options.interfaceName = parser.value(kInterface);
    if (!PackageManifest::isKnownInterface(options.interfaceName))
        return QStringLiteral("--interface needs mcuboot_serial, uart or usb; got \"%1\".").arg(options.interfaceName);
    if (parser.isSet(kAddress)) {
        options.programmingAddress = config::parseAddress(parser.value(kAddress));
        if (!options.programmingAddress)
            return QStringLiteral("--programming-address needs an address like 0x08000000; got \"%1\".")
                .arg(parser.value(kAddress));
    }
    return {};
}

std::optional<PackageOptions::Action> actionNamed(const QString& name)
{
    if (name == QLatin1String("keygen"))
        return PackageOptions::Action::Keygen;
    if (name == QLatin1String("create"))
        return PackageOptions::Action::Create;
    if (name == QLatin1String("verify"))
        return PackageOptions::Action::Verify;
    return std::nullopt;
}

QString readPositional(const QStringList& positional, PackageOptions& options)
{
    const std::optional<PackageOptions::Action> action =
        positional.isEmpty() ? std::nullopt : actionNamed(positional.first());
    if (!action)
        return QStringLiteral("package needs keygen, create or verify.");
    options.action = *action;
    const qsizetype wanted = options.action == PackageOptions::Action::Verify ? 2 : 1;
    if (positional.size() != wanted)
        return options.action == PackageOptions::Action::Verify
                   ? QStringLiteral("package verify needs exactly one package file.")
                   : QStringLiteral("Unexpected \"%1\" after package %2.")
                         .arg(positional.mid(1).join(QLatin1Char(' ')), positional.first());
    if (options.action == PackageOptions::Action::Verify)
        options.packageFile = positional.at(1);
    return {};
}

} // namespace

std::optional<PackageOptions> PackageOptions::parse(const QStringList& arguments, const QString& applicationDir,
                                                    bool& help, QString& error)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({kJson, kOut, kImage, kVersion, kModels, kInterface, kProduct, kAddress, kNotes, kKey,
                       kResources, kHelp});
    if (!parser.parse(QStringList{QStringLiteral("package")} + arguments)) {
        error = parser.errorText();
        return std::nullopt;
    }
    help = parser.isSet(kHelp);
    PackageOptions options;
    if (help)
        return options;
    error = readPositional(parser.positionalArguments(), options);
    if (error.isEmpty())
        error = checkOptionsBelong(parser, options.action, parser.positionalArguments().first());
    if (error.isEmpty() && options.action == Action::Keygen && parser.value(kOut).isEmpty())
        error = QStringLiteral("package keygen needs --out NAME.");
    if (error.isEmpty() && options.action == Action::Create)
        error = readCreateOptions(parser, options);
    if (!error.isEmpty())
        return std::nullopt;
    options.json = parser.isSet(kJson);
    options.out = parser.value(kOut);
    options.resourcesDir = parser.isSet(kResources) ? parser.value(kResources)
                                                    : applicationDir + QStringLiteral("/Resources");
    return options;
}
