# bash completion for quenlo-cli                            -*- shell-script -*-
# Installed as share/bash-completion/completions/quenlo-cli, where
# bash-completion loads it the first time quenlo-cli is completed.

_quenlo_cli()
{
    local cur prev words cword split
    _init_completion -s || return

    # Options that take a value, and what the value is.
    case $prev in
        --package)
            _filedir plist # folders, and settings files
            return
            ;;
        --report)
            _filedir '@(json|csv)'
            return
            ;;
        --metrics)
            _filedir prom
            return
            ;;
        --community | --subnet | --address | --parallel | --verify-timeout)
            return
            ;;
    esac
    $split && return

    # The command is the first word that is neither a global option nor the
    # value of --package.
    local i command="" subcommand=""
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --package) ((i++)) ;;
            -*) ;;
            *)
                if [[ -z $command ]]; then
                    command=${words[i]}
                elif [[ $command == package && -z $subcommand ]]; then
                    subcommand=${words[i]}
                fi
                ;;
        esac
    done

    local options
    case $command in
        "")
            if [[ $cur == -* ]]; then
                options="--package --verbose --help --version"
            else
                options="list update package history"
            fi
            ;;
        list)
            options="--json --csv --community --subnet --address --no-broadcast --usb --help"
            ;;
        update)
            options="--all --usb --parallel --verify --verify-timeout --report --metrics
                --dry-run --community --subnet --address --no-broadcast --help"
            ;;
        package)
            if [[ -z $subcommand ]]; then
                options="check"
                [[ $cur == -* ]] && options="--help"
            else
                options="--write-checksums --help"
            fi
            ;;
        history)
            options="--json --help"
            ;;
        *)
            return
            ;;
    esac
    # Addresses of update come from the user; only offer options for "-".
    if [[ $command == update && $cur != -* ]]; then
        return
    fi
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
} &&
    complete -F _quenlo_cli quenlo-cli

# ex: filetype=sh
