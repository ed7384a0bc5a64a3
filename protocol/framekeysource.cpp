#include "framekeysource.h"

#include "framecipher.h"
#include "framekey.h"
#include "regularfile.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

namespace {

constexpr int KeyBytes = 16;

const QLatin1String SettingsName("kestrel");

// QSettings reads its files as it is made, and would wait for ever on a FIFO. Where the user's settings file lives
// is asked of a QSettings of a format of no file of its own (it shares the INI format's folders), so that nothing
// is opened before the file has been checked.
bool readNothing(QIODevice &, QSettings::SettingsMap &)
{
    return true;
}

bool writeNothing(QIODevice &, const QSettings::SettingsMap &)
{
    return false;
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
    if (!readRegularFile(path, LargestSettingsFile, &content, &error))
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

FrameKeyChoice builtInKey()
{
    FrameKeyChoice builtIn;
    builtIn.origin = QStringLiteral("built-in");
    builtIn.key = QByteArray(reinterpret_cast<const char *>(BuiltInFrameKey), KeyBytes);
    return builtIn;
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

    const QString path = settingsFilePath();
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return builtInKey();
    const QString fileProblem = settingsFileProblem(path);
    if (!fileProblem.isEmpty())
        return unusableSettings(path, fileProblem);
    const QSettings settings(path, QSettings::IniFormat); // this one file only: no folder-wide defaults
    if (settings.status() != QSettings::NoError)
        return unusableSettings(path, QStringLiteral("cannot be read as an INI file"));
    for (const QString &key : settings.childKeys()) {
        if (key != QLatin1String(FrameKeySetting))
            return unusableSettings(path,
                                    QStringLiteral("holds the unknown key \"%1\"; the key is \"%2\"")
                                        .arg(key, QLatin1String(FrameKeySetting)));
    }
    QString settingProblem;
    const QString setting = settingText(settings, &settingProblem);
    if (!settingProblem.isEmpty())
        return unusableSettings(path, settingProblem);
    if (!setting.isEmpty())
        return choice(FrameKeySource::SettingsFile, path, setting);
    return builtInKey();
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
    static const QString extension = QStringLiteral("kestrel-path");
    static const QSettings::Format pathOnly = QSettings::registerFormat(extension, readNothing, writeNothing);
    QString path = QSettings(pathOnly, QSettings::UserScope, SettingsName, SettingsName).fileName();
    path.chop(extension.size());
    return path + QStringLiteral("ini");
}
