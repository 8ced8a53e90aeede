# bash completion for screenprog-cli: its options, and the values they take
# (the ports that --list prints, the memories, on and off, the lists' entries).

_screenprog_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local IFS=$'\n' values=
    case $prev in
    --port)
        # A listed name, or a device by its path.
        if [[ $cur == */* ]]; then
            COMPREPLY=($(compgen -f -- "$cur"))
            return
        fi
        values=$(screenprog-cli --list --quiet 2>/dev/null | cut -f1)
        ;;
    --eeprom | --ram | --log)
        COMPREPLY=($(compgen -f -- "$cur"))
        return
        ;;
    --memory) values=$'ram\neeprom' ;;
    --long-beep) values=$'on\noff' ;;
    --clock) values=now ;;
    --scroll) values=$'Na przemian\nCo znak\nPłynące\n1\n2\n3' ;;
    --speed | --brightness) values=$(seq 1 10) ;;
    --screens) values=$(seq 0 8) ;;
    --text) return ;;
    *)
        values=$'--help\n--version\n--list\n--json\n--port\n--wait\n--repeat\n--log\n--dry-run
--eeprom\n--ram\n--text\n--memory\n--scroll\n--speed\n--brightness\n--screens\n--clock
--beep\n--long-beep\n--clear\n--quiet'
        ;;
    esac
    COMPREPLY=($(compgen -W "$values" -- "$cur"))
    # "Na przemian" as one word on the command line.
    COMPREPLY=("${COMPREPLY[@]// /\\ }")
}
complete -F _screenprog_cli screenprog-cli
