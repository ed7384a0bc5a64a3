#include "exitstatus.h"

#include "frameconstants.h"

QString exitStatusHelp()
{
    return QStringLiteral("Exit status:\n"
                          "  %1  success\n"
                          "  %2  usage error: malformed command line, unusable file or frame key\n"
                          "  %3  nothing found: no module answered (or fewer than --expect)\n"
                          "  %4  module not found: the MAC given did not answer\n"
                          "  %5  refused value: a value the module cannot take; nothing was sent\n"
                          "  %6  not confirmed: the module does not report the new values\n"
                          "  %7  network error: port %9 unusable, adapter missing or down, send failed\n"
                          "  %8  bad frame (decode): not %10 bytes, or the checksum is wrong\n"
                          "  %11  conflict: two modules would get one address, a MAC is listed twice or answers\n"
                          "     from two addresses, a range is too small; nothing was sent\n")
        .arg(ExitStatus::Success)
        .arg(ExitStatus::UsageError)
        .arg(ExitStatus::NothingFound)
        .arg(ExitStatus::ModuleNotFound)
        .arg(ExitStatus::RefusedValue)
        .arg(ExitStatus::NotConfirmed)
        .arg(ExitStatus::NetworkError)
        .arg(ExitStatus::BadFrame)
        .arg(DevicePort)
        .arg(FrameSize)
        .arg(ExitStatus::Conflict);
}
