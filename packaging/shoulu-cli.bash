# bash completion for shoulu-cli                                         -*- shell-script -*-

_shoulu_cli()
{
    local cur prev words cword
    _init_completion || return

    local commands="init domains history query batch extract engines chart report pages reread help"
    local engines="baidu google soso yahoo sogou youdao bing"

    case $prev in
        --db | --engines | --pages | -o | --output | init | check)
            if [[ $prev != --engines || ${words[*]} != *" chart "* ]]; then
                _filedir
                return
            fi
            ;;
        --format)
            COMPREPLY=($(compgen -W "table csv json plain" -- "$cur"))
            return
            ;;
        --delay | --width | --height | --date | --since | --max-age | --max-size)
            return
            ;;
        enable | disable | extract | --engine)
            COMPREPLY=($(compgen -W "$engines" -- "$cur"))
            return
            ;;
    esac

    local i command=""
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --db | --engines | --pages) ((i++)) ;;
            -*) ;;
            *)
                command=${words[i]}
                break
                ;;
        esac
    done

    case $command in
        "")
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "--db --engines --pages --help --version" -- "$cur"))
            else
                COMPREPLY=($(compgen -W "$commands" -- "$cur"))
            fi
            ;;
        domains) COMPREPLY=($(compgen -W "add remove set --allow-empty" -- "$cur")) ;;
        history | query) COMPREPLY=($(compgen -W "--format --status" -- "$cur")) ;;
        batch) COMPREPLY=($(compgen -W "--delay --status" -- "$cur")) ;;
        extract) COMPREPLY=($(compgen -W "--format $engines" -- "$cur")) ;;
        engines) COMPREPLY=($(compgen -W "check enable disable" -- "$cur")) ;;
        chart)
            if [[ $prev == --engines ]]; then
                local keys=${cur%,*}
                [[ $keys == "$cur" ]] && keys="" || keys+=","
                COMPREPLY=($(compgen -P "$keys" -W "$engines" -- "${cur##*,}"))
            else
                COMPREPLY=($(compgen -W "-o --output --width --height --engines" -- "$cur"))
            fi
            ;;
        report) COMPREPLY=($(compgen -W "-o --output" -- "$cur")) ;;
        pages) COMPREPLY=($(compgen -W "show prune --engine --date --max-age --max-size --dry-run --yes --keep-limits" -- "$cur")) ;;
        reread) COMPREPLY=($(compgen -W "--since --dry-run" -- "$cur")) ;;
        help) COMPREPLY=($(compgen -W "$commands" -- "$cur")) ;;
    esac
} &&
    complete -F _shoulu_cli shoulu-cli

# ex: filetype=sh
