#pragma once

#include <QString>

// kestrelctl and kestrel-sim write UTF-8 to stdout and stderr themselves, unbuffered by Qt. Output to a pipe that
// the reader has closed (`kestrelctl search | head -1`) is dropped from then on: the program still finishes its
// work and ends with its own exit status, without a message and without dying of SIGPIPE.
//
// Text that came from outside (a module's name, an adapter's name, a key or value of a file, an argument) can hold
// control characters that a terminal would obey: messages and lines show them escaped (visibleText).

// Call once before anything is written: names the program in messages ("kestrelctl: ...") and keeps the
// closed-pipe signal from ending it.
void initProgramOutput(const QString &programName);

void printOut(const QString &text); // as given: a block whose outside parts were made visible already
void printLine(const QString &line); // one line, control characters escaped, and a newline
void printError(const QString &message); // "program: message" and a newline on stderr, escaped as printLine
void printErrorText(const QString &text); // on stderr as given
void printWarning(const QString &message); // "program: warning: message"

// Arguments are read as UTF-8: one that is not would reach a module as U+FFFD in the place of each stray byte.
// False with a message naming the first such argument (by its place, from 1, and as it can be shown).
bool argumentsAreUtf8(int argc, const char *const argv[], QString *error);

// The text with every control character (C0, DEL, C1: ESC, line breaks, tabs, ...) written as \xHH (\u00HH for C1),
// as a module's name already shows the bytes it cannot decode: a terminal shows the text and obeys none of it.
QString visibleText(const QString &text);
