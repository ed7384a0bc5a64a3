#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QString>

// Reads the JSON text of a file a program is given (an apply file, kestrel-sim's parameters and state). Beside what
// QJsonDocument refuses, a key given twice in one object is refused: QJsonDocument would keep the last one unsaid,
// and {"mode": "udp", "mode": "tcp-server"} says two things. Keys are compared as they read ("mo\u0064e" is "mode").
// False with a message such as `duplicate key "mode" at offset 17` (offsets count bytes from 0, as
// QJsonParseError's do; the one of a duplicate is where its key begins).
bool parseJsonText(const QByteArray &text, QJsonDocument *document, QString *error);
