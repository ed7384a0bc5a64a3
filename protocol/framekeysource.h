#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The frame key is shared with the modules' firmware, so a packaged program must let its user name it at run
// time. Sources, first found wins: the command line (kestrel-sim, kestrelctl), the environment variable
// KESTREL_FRAME_KEY, the entry "frameKey" of the settings file, and last the key built into the program.
enum class FrameKeySource { CommandLine, Environment, SettingsFile, BuiltIn };

struct FrameKeyChoice {
    FrameKeySource source = FrameKeySource::BuiltIn;
    QString origin;  // where it came from, for messages: "--key", "KESTREL_FRAME_KEY", the settings file's path
    QByteArray key;  // 16 bytes; empty when the source cannot be used
    QString problem; // why it cannot, for messages: "is not 32 hexadecimal digits", "is a list", ...
    bool isValid() const { return key.size() == 16; }
};

constexpr char FrameKeyVariable[] = "KESTREL_FRAME_KEY";
constexpr char FrameKeySetting[] = "frameKey";

// Exactly 32 hexadecimal digits as 16 bytes; empty for anything else, surrounding blanks or a line end included.
QByteArray parseFrameKey(const QString &text);

// An empty commandLineKey means none was given; an empty variable or setting counts as absent too. A settings
// file that exists but cannot be used (not a regular file, unreadable, not UTF-8 text, not INI) or whose
// "frameKey" is no text (a list, @Invalid()) is chosen as unusable, naming the file: a key the user meant to give
// never gives way to the built-in one unsaid.
FrameKeyChoice chooseFrameKey(const QString &commandLineKey = QString());

// Chooses the key (commandLineKey: the text of --key, nothing when the option is not given) and installs it for
// the frame cipher. False when the key cannot be used: *error (when given) then says why, naming where the key
// came from. *chosen (when given) is the choice either way.
bool installChosenFrameKey(const std::optional<QString> &commandLineKey, FrameKeyChoice *chosen = nullptr,
                           QString *error = nullptr);

// Where a key came from, for messages: "--key", "the environment variable KESTREL_FRAME_KEY", ...
QString describeFrameKeySource(const FrameKeyChoice &choice);

// The settings file shared by the window and kestrelctl (an INI file in the user's configuration folder).
QString settingsFilePath();
