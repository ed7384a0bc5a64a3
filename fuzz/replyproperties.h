#pragma once

#include "devicerecord.h"

#include <QByteArray>
#include <QString>

// What must hold for every plain reply the receive path passes on, checked by both fuzz targets. A broken
// property stops the run (__builtin_trap), so libFuzzer keeps the input that broke it.

struct CheckedReply {
    DeviceRecord record; // the reply decoded
    QByteArray sentPlain; // the plain configuration frame built from it with no edits; empty when refused
};

// Decodes the reply and checks: the module's name bytes and line-format byte are kept, the shown name hides
// nothing, the record lays out as a reply that reads back the same, and, whenever the form would accept its
// values, the configuration frame built from it with no edits gives the module back bytes 10-45 and bit 0 of
// byte 48 (bit 0 of byte 20, bits 0-1 of byte 21, bits 0-5 of byte 45; unused bits and reserved bytes zero).
CheckedReply checkReply(const QByteArray &plainReply);

// The shown name holds no control or bidirectional formatting character, and is empty only for an empty name.
void checkShownName(const QByteArray &nameField, const QString &shown);

// Arbitrary bytes as the text of every form field and as a name typed for the command-line tool.
void checkFormText(const QByteArray &bytes);
