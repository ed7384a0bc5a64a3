#pragma once

#include <QString>

// kestrelctl writes UTF-8 to stdout and stderr itself, unbuffered by Qt. Output to a pipe that the reader has
// closed (`kestrelctl search | head -1`) is dropped from then on: the command still finishes its work and
// ends with its own exit status, without a message and without dying of SIGPIPE.

// Call once before anything is written: the closed-pipe signal must not end the program.
void ignoreClosedPipes();

void printOut(const QString &text); // as given
void printLine(const QString &line); // with a newline
void printError(const QString &message); // "kestrelctl: message" and a newline on stderr
void printErrorText(const QString &text); // on stderr as given
void printWarning(const QString &message); // "kestrelctl: warning: message"
