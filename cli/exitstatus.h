#pragma once

#include <QString>
#include <QStringList>

// kestrelctl's exit statuses, one per kind of outcome, so that scripts can tell them apart. `kestrelctl --help`
// and the README list them.
namespace ExitStatus {
constexpr int Success = 0;
constexpr int UsageError = 2; // a malformed command line, an unusable file or frame key
constexpr int NothingFound = 3; // no module answered the search (or fewer than --expect)
constexpr int ModuleNotFound = 4; // the MAC given did not answer
constexpr int RefusedValue = 5; // a value the module cannot be sent; nothing was sent
constexpr int NotConfirmed = 6; // the module did not report the new values afterwards
constexpr int NetworkError = 7; // port 1500 unusable, the adapter missing or down, a send failed
constexpr int BadFrame = 8; // decode: the frame is not 64 bytes or its checksum is wrong
constexpr int Conflict = 9; // the modules would clash (one address for two, a MAC twice); nothing was sent
} // namespace ExitStatus

// Why a command stops: its exit status and what to tell the user.
struct Failure {
    Failure() = default;
    Failure(int status, const QString &message, const QStringList &details = {})
        : status(status)
        , message(message)
        , details(details)
    {
    }

    int status = ExitStatus::Success;
    QString message;
    QStringList details; // one indented line each below the message
};

// The exit statuses as --help shows them.
QString exitStatusHelp();
