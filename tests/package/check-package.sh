#!/usr/bin/env bash
# The Debian package as a user gets it: CPack builds it from this build tree
# (as `make package` does), dpkg-deb unpacks it into a scratch directory, and
# the package's control fields, file list, desktop entry and icons are checked.
# Then the programs run from the unpacked tree: kestrel-sim --help,
# kestrelctl --help, and the window on the offscreen platform until it has
# bound port 1500, when it is closed. The programs run inside one private
# network namespace (scripts/netns-run.sh), one set-up for all of them.
#
#   check-package.sh BUILD_DIR SCRATCH_DIR VERSION WITH_KESTRELCTL NETNS_RUN QT_MAJOR
#
# WITH_KESTRELCTL is 1 when the build has the command-line tool, 0 otherwise;
# QT_MAJOR is the Qt the programs are built with, 5 or 6.
# Exits 77 (skipped) when this system has no dpkg-deb.
set -euo pipefail

Skipped=77

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The window's part: start it, wait until it holds UDP port 1500 (its
# construction is then complete and its event loop runs), close it with SIGTERM
# and expect that signal, not an earlier exit, to end it.
checkWindow() {
    local program=$1 log=$2 window status tries
    QT_QPA_PLATFORM=offscreen "$program" >"$log" 2>&1 &
    window=$!
    # A bound only a hang reaches: start-up on a busy machine under the sanitizers may take many seconds.
    for ((tries = 0; tries < 1200; ++tries)); do
        if [ -n "$(ss -H -u -l -n 'sport = :1500')" ]; then
            break
        fi
        if ! kill -0 "$window" 2>/dev/null; then
            status=0
            wait "$window" || status=$?
            fail "the window ended by itself with status $status before binding port 1500"
        fi
        sleep 0.1
    done
    if [ -z "$(ss -H -u -l -n 'sport = :1500')" ]; then
        kill -KILL "$window" 2>/dev/null || true
        fail "the window did not bind UDP port 1500 within 120 seconds"
    fi
    # Still there a moment later: it got past start-up into its event loop.
    sleep 0.5
    kill -TERM "$window" 2>/dev/null || fail "the window ended by itself after binding port 1500"
    status=0
    wait "$window" || status=$?
    [ "$status" -eq $((128 + 15)) ] || fail "the window ended with status $status, expected SIGTERM (143)"
}

# Completion as bash-completion loads it, for the line typed so far: what it offers, sorted (the order is bash's).
# Readline replaces only what follows the last "=" (tests/cli/tst_completion.sh checks the whole line).
complete() {
    bash -c 'source "$1"; COMP_LINE="$2 $3" COMP_POINT=$((${#2} + 1 + ${#3})); _kestrelctl;
             printf "%s\n" "${COMPREPLY[@]}" | sort | paste -s -d " "' complete \
        "$root/usr/share/bash-completion/completions/kestrelctl" "$root/usr/bin/kestrelctl" "$*"
}

# The programs from the unpacked package, all inside one private network namespace (one set-up, not one per run):
#   check-package.sh --programs ROOT WITH_KESTRELCTL SCRATCH_DIR
if [ "${1:-}" = --programs ]; then
    root=$2 withKestrelctl=$3 scratch=$4
    help=$("$root/usr/bin/kestrel-sim" --help) || fail "kestrel-sim --help from the package failed"
    [[ $help == *"Usage: "* && $help == *"--count"* ]] || fail "kestrel-sim --help printed: $help"
    if [ "$withKestrelctl" = 1 ]; then
        help=$("$root/usr/bin/kestrelctl" --help) || fail "kestrelctl --help from the package failed"
        [[ $help == *"Usage: "* ]] || fail "kestrelctl --help printed: $help"
        # The commands after "kestrelctl s", the fields after "set MAC" and their values.
        offered=$(complete s)
        [ "$offered" = "search set show" ] || fail "kestrelctl s<TAB> offers \"$offered\""
        offered=$(complete set 001A2B3C4D5E mo)
        [ "$offered" = "modbus= mode=" ] || fail "kestrelctl set MAC mo<TAB> offers \"$offered\""
        offered=$(complete set 001A2B3C4D5E mode=tcp)
        [ "$offered" = "tcp-client tcp-server" ] || fail "kestrelctl set MAC mode=tcp<TAB> offers \"$offered\""
    fi
    # Help and version need no display: answered before the window's application exists.
    for option in --help --version; do
        text=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/kestrel-configure" $option 2>&1) ||
            fail "kestrel-configure $option without a display failed: $text"
        [[ $text == *kestrel-configure* ]] || fail "kestrel-configure $option printed: $text"
    done
    checkWindow "$root/usr/bin/kestrel-configure" "$scratch/window.log"
    exit 0
fi

if [ $# -ne 6 ]; then
    echo "usage: $0 BUILD_DIR SCRATCH_DIR VERSION WITH_KESTRELCTL NETNS_RUN QT_MAJOR" >&2
    exit 2
fi
build=$1 scratch=$2 version=$3 withKestrelctl=$4 netnsRun=$5 qtMajor=$6

if ! command -v dpkg-deb >/dev/null 2>&1; then
    echo "SKIP: dpkg-deb is not installed, so no Debian package can be built or unpacked on this system"
    exit $Skipped
fi
for tool in cpack dpkg-shlibdeps file; do
    command -v "$tool" >/dev/null 2>&1 ||
        fail "$tool is missing: the package cannot be built with its dependencies (scripts/install-deps.sh installs it)"
done

rm -rf "$scratch"
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)

# Build it: the same configuration as `make package`, into the scratch directory.
if ! (cd "$build" && cpack -G DEB -B "$scratch/cpack") >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    fail "cpack could not build the package"
fi
architecture=$(dpkg --print-architecture)
deb="$scratch/cpack/kestrel-configure_${version}_${architecture}.deb"
[ -f "$deb" ] || fail "no $(basename "$deb") was built; cpack wrote: $(ls "$scratch/cpack")"

# Control fields: the name, the project's version, and dependencies found by dpkg-shlibdeps.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kestrel-configure ] || fail "Package is \"$(field Package)\""
[ "$(field Version)" = "$version" ] || fail "Version is \"$(field Version)\", the project's is $version"
[ "$(field Architecture)" = "$architecture" ] || fail "Architecture is \"$(field Architecture)\""
depends=$(field Depends)
echo "Depends: $depends"
case $qtMajor in
5) qtLibraries=(libqt5core5a libqt5gui5 libqt5network5 libqt5widgets5) ;;
6) qtLibraries=(libqt6core6 libqt6gui6 libqt6network6 libqt6widgets6) ;;
*) fail "unknown Qt major version \"$qtMajor\"" ;;
esac
for library in libc6 "${qtLibraries[@]}"; do
    [[ ", $depends," =~ ,\ $library[\ ,] ]] || fail "Depends does not name $library: $depends"
done

# The file list, exactly: nothing missing and nothing from the build tree (tests, helpers) let in.
expected=(
    ./usr/bin/kestrel-configure
    ./usr/bin/kestrel-sim
    ./usr/share/applications/kestrel-configure.desktop
    ./usr/share/doc/kestrel-configure/changelog.gz
    ./usr/share/doc/kestrel-configure/copyright
    ./usr/share/icons/hicolor/128x128/apps/kestrel-configure.png
    ./usr/share/icons/hicolor/48x48/apps/kestrel-configure.png
    ./usr/share/man/man1/kestrel-configure.1.gz
    ./usr/share/man/man1/kestrel-sim.1.gz
)
programs=(kestrel-configure kestrel-sim)
if [ "$withKestrelctl" = 1 ]; then
    expected+=(./usr/bin/kestrelctl ./usr/share/man/man1/kestrelctl.1.gz
        ./usr/share/bash-completion/completions/kestrelctl)
    programs+=(kestrelctl)
fi
dpkg-deb -c "$deb" >"$scratch/contents.txt"
actual=$(awk '$1 ~ /^-/ { print $6 }' "$scratch/contents.txt" | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
if [ "$actual" != "$wanted" ]; then
    diff <(echo "$wanted") <(echo "$actual") >&2 || true
    fail "the package's files differ from the expected list (< expected, > in the package)"
fi
for program in "${programs[@]}"; do
    grep -Eq "^-rwxr-xr-x root/root .* \./usr/bin/$program\$" "$scratch/contents.txt" ||
        fail "usr/bin/$program is not an executable owned by root: $(grep "/$program\$" "$scratch/contents.txt")"
done

# Debian's own checks: lintian (where installed) may report nothing worse than information. It takes a few
# seconds, so it runs beside the checks below and is judged at the end.
lintianRun=
if command -v lintian >/dev/null 2>&1; then
    lintian "$deb" >"$scratch/lintian.txt" 2>/dev/null &
    lintianRun=$!
else
    echo "note: lintian is not installed, so the package's Debian checks were not run"
fi

dpkg-deb -x "$deb" "$scratch/root"
root="$scratch/root"

# The licence: the machine-readable copyright file carries the MIT (Expat) licence of LICENSE.
copyright="$root/usr/share/doc/kestrel-configure/copyright"
head -1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' ||
    fail "the copyright file is not in the machine-readable format"
grep -q '^License: Expat$' "$copyright" || fail "the copyright file names no Expat (MIT) licence"
grep -q 'Permission is hereby granted, free of charge' "$copyright" || fail "the copyright file lacks the licence text"

# The changelog's latest entry is this version.
zcat "$root/usr/share/doc/kestrel-configure/changelog.gz" | head -1 | grep -q "^kestrel-configure ($version) " ||
    fail "the changelog's latest entry is not version $version: $(zcat "$root/usr/share/doc/kestrel-configure/changelog.gz" | head -1)"

# A manual page for each program, with its name and, for those with options, the options --help names.
for program in "${programs[@]}"; do
    page="$root/usr/share/man/man1/$program.1.gz"
    text=$(MANWIDTH=200 man -l "$page" 2>&1) || fail "man cannot show $program.1: $text"
    [[ $text == *"$program - "* ]] || fail "the manual page of $program has no NAME line: $text"
done
if [ "$withKestrelctl" = 1 ]; then
    text=$(MANWIDTH=200 man -l "$root/usr/share/man/man1/kestrelctl.1.gz")
    for word in search decode "Exit status" KESTREL_FRAME_KEY "~/.config/kestrel/kestrel.ini" COMMANDS \
        --ip-range --name-pattern --dry-run --interval --keep-ip --use-name --verify-timeout "tcp-server" \
        "parity (none, odd, even, mark, space)" "data-bits (5, 6, 7, 8)"; do
        [[ $text == *"$word"* ]] || fail "the manual page of kestrelctl does not mention $word"
    done
    [[ $text != *"$HOME/.config"* || $HOME == "~" ]] || fail "the manual page of kestrelctl names the builder's home"
    [[ $text != *'`'* ]] || fail "the manual page of kestrelctl shows backquotes: $(grep -m1 '`' <<<"$text")"
fi
text=$(MANWIDTH=200 man -l "$root/usr/share/man/man1/kestrel-sim.1.gz")
[[ $text != *scripts/* && $text != *".sh"* ]] || fail "the manual page of kestrel-sim names a script the package does not ship"

# The desktop entry starts a program of the package and shows an icon of the package.
desktop="$root/usr/share/applications/kestrel-configure.desktop"
entry() { sed -n "s/^$1=//p" "$desktop"; }
for key in Name Comment 'Comment\[zh_CN\]' Exec Icon; do
    [ -n "$(entry "$key")" ] || fail "the desktop entry has no $key"
done
[ "$(entry Type)" = Application ] || fail "the desktop entry's Type is \"$(entry Type)\""
[[ ";$(entry Categories)" == *";Network;"* && ";$(entry Categories)" == *";Utility;"* ]] ||
    fail "the desktop entry's Categories \"$(entry Categories)\" lack Network;Utility;"
exec=$(entry Exec)
[ -x "$root/usr/bin/${exec%% *}" ] || fail "the desktop entry runs \"$exec\", which the package does not install"
icon=$(entry Icon)
if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate --no-hints "$desktop" || fail "desktop-file-validate rejects the desktop entry"
fi

# Each icon is a PNG of the size its theme directory names.
for size in 48 128; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
    [ -f "$png" ] || fail "the desktop entry's icon \"$icon\" has no ${size}x${size} PNG"
    file -b "$png" | grep -q "^PNG image data, $size x $size," ||
        fail "${size}x${size}/apps/$icon.png is $(file -b "$png")"
done

# The programs, from the unpacked package.
[ "$withKestrelctl" = 1 ] || echo "note: this build has no kestrelctl, so the package has none either"
"$netnsRun" "$0" --programs "$root" "$withKestrelctl" "$scratch" ||
    fail "the programs from the package did not all run as they should (the window's output: $(cat "$scratch/window.log" 2>/dev/null))"

# Debian's own checks, started beside the others above.
if [ -n "$lintianRun" ]; then
    wait "$lintianRun" || true
    if grep -E '^[EW]: ' "$scratch/lintian.txt" >&2; then
        fail "lintian reports errors or warnings for the package"
    fi
fi

echo "package $(basename "$deb"): $(wc -l <<<"$actual") files, its programs run"
