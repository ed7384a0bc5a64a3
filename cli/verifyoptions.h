#pragma once

#include "commandline.h"

#include <optional>

// --no-verify and --verify-timeout, shared by set and apply.
struct VerifyOptions {
    bool verify = true;
    int timeoutMs = 0;

    static void addTo(CommandLine &commandLine);
    // A malformed value is a usage error.
    static std::optional<Failure> read(const CommandLine &commandLine, VerifyOptions *options);
};
