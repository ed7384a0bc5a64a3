#pragma once

#include <QString>

// The programs' standard output and error, one file per platform: how a stream takes text there, and what happens
// when its reader has gone away (the stream is dropped from then on; the program finishes its work).
enum class StandardStream { Output, Error };

// Called once before anything is written: a reader that closes its end must not end the program.
void keepClosedPipesQuiet();

void writeStandardStream(StandardStream stream, const QString &text);
