# bash completion for kestrelctl: commands, each command's options (read from its own --help), the fields of
# `set` with their fixed values, and JSON files for `apply`.

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
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion -n = || return
    else
        cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} words=("${COMP_WORDS[@]}") cword=$COMP_CWORD
    fi
    local program=${words[0]}

    if [[ $cword -eq 1 ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_kestrelctl_commands "$program") help --help --version" -- "$cur")
        return
    fi
    local command=${words[1]}

    case $prev in
    --key | --interface | --timeout | --retries | --expect | --verify-timeout)
        [[ $prev == --interface ]] &&
            mapfile -t COMPREPLY < <(compgen -W "$(ls /sys/class/net 2>/dev/null)" -- "$cur")
        return
        ;;
    -o | --output)
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

    case $command in
    help)
        [[ $cword -eq 2 ]] && mapfile -t COMPREPLY < <(compgen -W "$(_kestrelctl_commands "$program")" -- "$cur")
        ;;
    set)
        if [[ $cur == *=* ]]; then
            local field=${cur%%=*}
            mapfile -t COMPREPLY < <(compgen -P "$field=" -W "$(_kestrelctl_values "$program" "$field")" -- "${cur#*=}")
        elif [[ $cword -ge 3 ]]; then
            mapfile -t COMPREPLY < <(compgen -S = -W "$(_kestrelctl_fields "$program")" -- "$cur")
            compopt -o nospace 2>/dev/null
        fi
        ;;
    apply)
        # The first argument is the JSON file; the rest are MACs.
        local arguments=0 i
        for ((i = 2; i < cword; ++i)); do
            [[ ${words[i]} != -* && ${words[i - 1]} != --@(key|interface|timeout|retries|verify-timeout) ]] &&
                ((++arguments))
        done
        if [[ $arguments -eq 0 ]]; then
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -X '!*.json' -- "$cur"; compgen -d -- "$cur")
        fi
        ;;
    esac
}
complete -F _kestrelctl kestrelctl
