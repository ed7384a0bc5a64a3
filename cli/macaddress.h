#pragma once

#include <QString>

#include <optional>

// A MAC address as people write it: 001A2B3C4D5E, 00:1A:2B:3C:4D:5E or 00-1a-2b-3c-4d-5e (either case, one
// kind of separator between every pair or none at all). The result is the form modules are listed by: 12
// upper-case hexadecimal digits.
std::optional<QString> parseMacAddress(const QString &text);
