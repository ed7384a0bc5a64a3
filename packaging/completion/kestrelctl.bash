# bash completion for kestrelctl: commands, each command's options (read from its own --help), the fields of
# `set` with their fixed values, JSON files for `apply`, lists for `provision`. It works with bash-completion
# loaded and without it.

_kestrelctl_commands()
{
    "$1" --help 2>/dev/null | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z]*\) .*/\1/p'
}

_kestrelctl_fields()
{
    # The settable fields, as `set --help` names them: "name, name-hex, mode (udp, ...), ..."
    "$1" set --help 2>/dev/null | sed -n '/^Usage:/,/^Frame key:/p' | tr '\n' ' ' |
        sed -e 's/.*Fields and values are those of the JSON form: //' -e 's/\. .*//' |
        sed -e 's/ *([^)]*)//g' | tr ',' '\n' | sed -e 's/^ *//' -e 's/ *$//' | grep -E '^[a-z][a-z-]*$'
}

_kestrelctl_values()
{
    # The fixed values of one field, from `set --help`: "mode (udp, tcp-client, ...)".
    "$1" set --help 2>/dev/null | tr '\n' ' ' | sed -n "s/.*[ ,]$2 (\([^)]*\)).*/\1/p" | tr ',' '\n' |
        sed -e 's/^ *//' -e 's/ *$//' | grep -E '^[a-z0-9-]+$' | grep -vE '^[0-9]+-[0-9]+$' # ranges are no values
}

_kestrelctl()
{
    # The line up to the cursor, split at blanks only: "set MAC mode=t" stays one word whether or not "=" breaks
    # words for readline (it does by default) and whether or not bash-completion joined them again.
    local line=${COMP_LINE:0:COMP_POINT}
    local -a typed
    read -r -a typed <<<"$line"
    [[ $line == *[[:space:]] ]] && typed+=("")
    local cur=${typed[${#typed[@]} - 1]} cword=$((${#typed[@]} - 1))
    local prev=${typed[cword - 1]}
    local program=${typed[0]}

    if [[ $cword -eq 1 ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_kestrelctl_commands "$program") help --help --version" -- "$cur")
        return
    fi
    local command=${typed[1]}

    case $prev in
    --key | --interface | --timeout | --retries | --expect | --verify-timeout | --interval | --ip-range | \
        --name-pattern | --mask | --gateway)
        [[ $prev == --interface ]] &&
            mapfile -t COMPREPLY < <(compgen -W "$(ls /sys/class/net 2>/dev/null)" -- "$cur")
        return
        ;;
    -o | --output)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        local options
        options=$("$program" "$command" --help 2>/dev/null | grep -oE -- '--[a-z][a-z-]*' | sort -u)
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi

    # The arguments before this word that are not options or their values.
    local arguments=0 i
    for ((i = 2; i < cword; ++i)); do
        [[ ${typed[i]} != -* && ${typed[i - 1]} != @(--key|--interface|--timeout|--retries|--expect|--verify-timeout|--interval|--ip-range|--name-pattern|--mask|--gateway|-o|--output) ]] &&
            ((++arguments))
    done

    case $command in
    help)
        [[ $cword -eq 2 ]] && mapfile -t COMPREPLY < <(compgen -W "$(_kestrelctl_commands "$program")" -- "$cur")
        ;;
    set)
        if [[ $cur == *=* ]]; then
            local field=${cur%%=*}
            mapfile -t COMPREPLY < <(compgen -W "$(_kestrelctl_values "$program" "$field")" -- "${cur#*=}")
            # Readline replaces only what follows the "=" when "=" breaks words, else the whole word.
            [[ $COMP_WORDBREAKS == *=* ]] || COMPREPLY=("${COMPREPLY[@]/#/$field=}")
        elif [[ $arguments -ge 1 ]]; then
            mapfile -t COMPREPLY < <(compgen -S = -W "$(_kestrelctl_fields "$program")" -- "$cur")
            compopt -o nospace 2>/dev/null
        fi
        ;;
    apply | provision)
        # The first argument is the file; apply's further ones are MACs.
        if [[ $arguments -eq 0 ]]; then
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(
                compgen -f -X '!*.json' -- "$cur"
                [[ $command == provision ]] && compgen -f -X '!*.csv' -- "$cur"
                compgen -d -- "$cur"
            )
        fi
        ;;
    esac
}
complete -F _kestrelctl kestrelctl
