# bash completion for zimbrel-control
_zimbrel_control()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local words
    if [ "$COMP_CWORD" -eq 1 ]; then
        words="on off toggle status watch --help"
    elif [ "$COMP_CWORD" -eq 2 ]; then
        case ${COMP_WORDS[1]} in
            status|watch) words="--json" ;;
        esac
    fi
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
}
complete -F _zimbrel_control zimbrel-control
