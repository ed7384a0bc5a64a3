#include "framekeysource.h"

#include "framecipher.h"
#include "framekey.h"
#include "regularfile.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

namespace {

constexpr int KeyBytes = 16;

QSettings toolSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kestrel"), QStringLiteral("kestrel"));
}

constexpr qint64 LargestSettingsFile = 1024 * 1024;

FrameKeyChoice choice(FrameKeySource source, const QString &origin, const QString &text)
{
    FrameKeyChoice chosen;
    chosen.source = source;
    chosen.origin = origin;
    chosen.key = parseFrameKey(text);
    if (chosen.key.isEmpty())
        chosen.problem = QStringLiteral("is not 32 hexadecimal digits");
    return chosen;
}

FrameKeyChoice unusableSettings(const QString &path, const QString &problem)
{
    FrameKeyChoice chosen;
    chosen.source = FrameKeySource::SettingsFile;
    chosen.origin = path;
    chosen.problem = problem;
    return chosen;
}

// Why an existing settings file cannot be read for a key; empty when it can. QSettings itself reads a file it
// cannot use as an empty one.
QString settingsFileProblem(const QString &path)
{
    QByteArray content;
    QString error;
    if (!readRegularFile(path, &content, &error, LargestSettingsFile))
        return QStringLiteral("cannot be read: %1").arg(error);
    if (content.startsWith("\xFF\xFE") || content.startsWith("\xFE\xFF") || content.contains('\0'))
        return QStringLiteral("is not UTF-8 text (UTF-16?)");
    return QString();
}

// "frameKey" read by QSettings: text, or why it is not.
QString settingText(const QSettings &settings, QString *problem)
{
    const QString key = QLatin1String(FrameKeySetting);
    if (!settings.contains(key))
        return QString();
    const QVariant value = settings.value(key);
    if (!value.isValid())
        *problem = QStringLiteral("holds \"%1\" as @Invalid(), not text").arg(key);
    else if (value.userType() == QMetaType::QStringList)
        *problem = QStringLiteral("holds \"%1\" as a list (a comma outside quotes), not text").arg(key);
    else if (!value.canConvert<QString>())
        *problem = QStringLiteral("holds \"%1\" as %2, not text").arg(key, QLatin1String(value.typeName()));
    return value.toString();
}

} // namespace

QByteArray parseFrameKey(const QString &text)
{
    // Exactly the digits, as every other value: a blank or a line end around them is refused, not guessed away.
    static const QRegularExpression pattern(QStringLiteral("\\A[0-9A-Fa-f]{32}\\z"));
    if (!pattern.match(text).hasMatch())
        return QByteArray();
    return QByteArray::fromHex(text.toLatin1());
}

FrameKeyChoice chooseFrameKey(const QString &commandLineKey)
{
    if (!commandLineKey.isEmpty())
        return choice(FrameKeySource::CommandLine, QStringLiteral("--key"), commandLineKey);

    const QString variable = qEnvironmentVariable(FrameKeyVariable);
    if (!variable.isEmpty())
        return choice(FrameKeySource::Environment, QLatin1String(FrameKeyVariable), variable);

    const QSettings settings = toolSettings();
    const QString path = settings.fileName();
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        const QString fileProblem = settingsFileProblem(path);
        if (!fileProblem.isEmpty())
            return unusableSettings(path, fileProblem);
        if (settings.status() != QSettings::NoError)
            return unusableSettings(path, QStringLiteral("cannot be read as an INI file"));
    }
    QString settingProblem;
    const QString setting = settingText(settings, &settingProblem);
    if (!settingProblem.isEmpty())
        return unusableSettings(path, settingProblem);
    if (!setting.isEmpty())
        return choice(FrameKeySource::SettingsFile, path, setting);

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
            QStringLiteral("the frame key from %1 %2").arg(describeFrameKeySource(choice), choice.problem));
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
