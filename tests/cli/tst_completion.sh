#!/usr/bin/env bash
# The bash completion of kestrelctl in a real bash, once as bash alone and once with bash-completion loaded: for a
# line typed so far, what TAB turns it into. Bash splits the line into COMP_WORDS at the characters of
# COMP_WORDBREAKS ("=" and ":" among them) and readline then replaces only the text after the last such
# character, so the test splits and replaces the same way.
#   tst_completion.sh COMPLETION_SCRIPT KESTRELCTL
set -euo pipefail
script=$1 program=$2
failures=0

# Runs the completion for LINE in a fresh bash; prints the line each offer would make, sorted, one per line.
completed() {
    local mode=$1 line=$2
    bash -c '
        mode=$1 script=$2 line=$3
        if [ "$mode" = bash-completion ]; then
            source /usr/share/bash-completion/bash_completion
            declare -F _init_completion >/dev/null || { echo "bash-completion did not load" >&2; exit 1; }
        fi
        source "$script"
        # Words as bash makes them: blanks separate, each COMP_WORDBREAKS character but blanks and quotes is a
        # word of its own.
        breaks=${COMP_WORDBREAKS//[[:space:]\"\x27]/}
        COMP_WORDS=() word=""
        for ((i = 0; i < ${#line}; ++i)); do
            c=${line:i:1}
            if [[ $c == [[:space:]] ]]; then
                [ -n "$word" ] && COMP_WORDS+=("$word")
                word=""
            elif [[ $breaks == *"$c"* ]]; then
                [ -n "$word" ] && COMP_WORDS+=("$word")
                COMP_WORDS+=("$c")
                word=""
            else
                word+=$c
            fi
        done
        COMP_WORDS+=("$word")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMP_LINE=$line COMP_POINT=${#line}
        # What readline replaces: the text after the last blank or word-breaking character.
        replaced=${line##*[[:space:]$breaks]}
        kept=${line:0:${#line}-${#replaced}}
        _kestrelctl kestrelctl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        for offer in "${COMPREPLY[@]}"; do printf "%s\n" "$kept$offer"; done | sort
    ' completed "$mode" "$script" "$line"
}

check() {
    local line=$1 expected=$2 mode actual
    for mode in bash bash-completion; do
        actual=$(completed "$mode" "$line" | paste -s -d '|')
        if [ "$actual" != "$expected" ]; then
            echo "FAIL ($mode): \"$line\" completes to \"$actual\", expected \"$expected\"" >&2
            failures=$((failures + 1))
        else
            echo "PASS ($mode): \"$line\" -> \"$actual\""
        fi
    done
}

k=$program
check "$k s" "$k search|$k set|$k show"
check "$k pro" "$k provision"
check "$k set 001A2B3C4D5E mo" "$k set 001A2B3C4D5E modbus=|$k set 001A2B3C4D5E mode="
check "$k set 00:1A:2B:3C:4D:5E mo" "$k set 00:1A:2B:3C:4D:5E modbus=|$k set 00:1A:2B:3C:4D:5E mode="
check "$k set 001A2B3C4D5E mode=t" "$k set 001A2B3C4D5E mode=tcp-client|$k set 001A2B3C4D5E mode=tcp-server"
check "$k set 001A2B3C4D5E baud=9600 parity=e" "$k set 001A2B3C4D5E baud=9600 parity=even"
check "$k set 00:1A:2B:3C:4D:5E ip-type=" "$k set 00:1A:2B:3C:4D:5E ip-type=dhcp|$k set 00:1A:2B:3C:4D:5E ip-type=static"
check "$k set 001A2B3C4D5E data-bits=" \
    "$k set 001A2B3C4D5E data-bits=5|$k set 001A2B3C4D5E data-bits=6|$k set 001A2B3C4D5E data-bits=7|$k set 001A2B3C4D5E data-bits=8"
check "$k provision --name-" "$k provision --name-pattern"
check "$k watch --i" "$k watch --interface|$k watch --interval"
check "$k apply --use-" "$k apply --use-name"

if [ "$failures" -gt 0 ]; then
    echo "$failures completions were wrong" >&2
    exit 1
fi
