#include "framekeysource.h"

#include "framecipher.h"
#include "framekey.h"

#include <QRegularExpression>
#include <QSettings>

namespace {

constexpr int KeyBytes = 16;

QSettings toolSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kestrel"), QStringLiteral("kestrel"));
}

FrameKeyChoice choice(FrameKeySource source, const QString &origin, const QString &text)
{
    FrameKeyChoice chosen;
    chosen.source = source;
    chosen.origin = origin;
    chosen.key = parseFrameKey(text);
    return chosen;
}

} // namespace

QByteArray parseFrameKey(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9A-Fa-f]{32}$"));
    const QString trimmed = text.trimmed();
    if (!pattern.match(trimmed).hasMatch())
        return QByteArray();
    return QByteArray::fromHex(trimmed.toLatin1());
}

FrameKeyChoice chooseFrameKey(const QString &commandLineKey)
{
    if (!commandLineKey.isEmpty())
        return choice(FrameKeySource::CommandLine, QStringLiteral("--key"), commandLineKey);

    const QString variable = qEnvironmentVariable(FrameKeyVariable);
    if (!variable.isEmpty())
        return choice(FrameKeySource::Environment, QLatin1String(FrameKeyVariable), variable);

    const QSettings settings = toolSettings();
    const QString setting = settings.value(QLatin1String(FrameKeySetting)).toString();
    if (!setting.isEmpty())
        return choice(FrameKeySource::SettingsFile, settings.fileName(), setting);

    FrameKeyChoice builtIn;
    builtIn.origin = QStringLiteral("built-in");
    builtIn.key = QByteArray(reinterpret_cast<const char *>(BuiltInFrameKey), KeyBytes);
    return builtIn;
}

bool installChosenFrameKey(const std::optional<QString> &commandLineKey, FrameKeyChoice *chosen, QString *error)
{
    const auto refuse = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (commandLineKey && commandLineKey->isEmpty())
        return refuse(QStringLiteral("--key needs 32 hexadecimal digits"));
    const FrameKeyChoice choice = chooseFrameKey(commandLineKey.value_or(QString()));
    if (chosen)
        *chosen = choice;
    if (!choice.isValid())
        return refuse(
            QStringLiteral("the frame key from %1 is not 32 hexadecimal digits").arg(describeFrameKeySource(choice)));
    setFrameKey(reinterpret_cast<const quint8 *>(choice.key.constData()));
    return true;
}

QString describeFrameKeySource(const FrameKeyChoice &choice)
{
    switch (choice.source) {
    case FrameKeySource::CommandLine:
        return QStringLiteral("--key");
    case FrameKeySource::Environment:
        return QStringLiteral("the environment variable %1").arg(QLatin1String(FrameKeyVariable));
    case FrameKeySource::SettingsFile:
        return QStringLiteral("\"%1\" in the settings file %2").arg(QLatin1String(FrameKeySetting), choice.origin);
    case FrameKeySource::BuiltIn:
        break;
    }
    return QStringLiteral("the built-in key");
}

QString settingsFilePath()
{
    return toolSettings().fileName();
}
