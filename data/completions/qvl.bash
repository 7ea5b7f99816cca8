# bash completion for qvl: commands, options, drive letters from `qvl drives` and search
# texts from `qvl history`.

_qvl_letters() {
    qvl drives 2>/dev/null | while IFS= read -r line; do printf '%s\n' "${line%%:*}"; done
}

_qvl() {
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W 'drives index update watch find history leave-out serve-changes --help --version' -- "$cur")
        return
    fi
    case ${COMP_WORDS[1]} in
    index | update | watch)
        mapfile -t COMPREPLY < <(compgen -W "$(_qvl_letters)" -- "${cur^^}")
        ;;
    serve-changes)
        if [[ $cur == -* ]]; then
            mapfile -t COMPREPLY < <(compgen -W '--socket' -- "$cur")
        else
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        fi
        ;;
    leave-out)
        if ((COMP_CWORD == 2)); then
            mapfile -t COMPREPLY < <(compgen -W 'add remove' -- "$cur")
        elif ((COMP_CWORD == 3)); then
            mapfile -t COMPREPLY < <(compgen -W 'name path fs' -- "$cur")
        elif [[ ${COMP_WORDS[3]} == path ]]; then
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        elif [[ ${COMP_WORDS[2]} == remove ]]; then
            # The rules there are of that kind, each one word.
            local rule
            COMPREPLY=()
            while IFS= read -r rule; do
                [[ $rule == "${COMP_WORDS[3]} $cur"* ]] && COMPREPLY+=("$(printf '%q' "${rule#* }")")
            done < <(qvl leave-out 2>/dev/null)
        fi
        ;;
    history)
        ((COMP_CWORD >= 2)) && mapfile -t COMPREPLY < <(compgen -W '-N --clear' -- "$cur")
        ;;
    find)
        if [[ $prev == -d ]]; then
            mapfile -t COMPREPLY < <(compgen -W "$(_qvl_letters)" -- "${cur^^}")
        elif [[ $prev == -l ]]; then
            COMPREPLY=()
        elif [[ $cur == -* ]]; then
            mapfile -t COMPREPLY < <(compgen -W '-e -d -0 -c -l -N' -- "$cur")
        else
            # Past searches, each one word however many blanks it holds.
            local text
            COMPREPLY=()
            while IFS= read -r text; do
                [[ $text == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$text")")
            done < <(qvl history 2>/dev/null)
        fi
        ;;
    esac
}
complete -F _qvl qvl
