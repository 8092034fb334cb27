# bash completion for korvex: its verbs, each verb's options, the values an
# option takes, and files (or folders, for -o) everywhere else. Installed as
# share/bash-completion/completions/korvex; `source` it to try it by hand.
_korvex() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local verb=${COMP_WORDS[1]}
    local verbs="text list pack put get show diff lsp help"
    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W "$verbs --help --version" -- "$cur")
        return
    fi
    case $verb in
        help)
            ((COMP_CWORD == 2)) && mapfile -t COMPREPLY < <(compgen -W "text list pack put get show diff lsp" -- "$cur")
            return
            ;;
        text | list | pack | put | get | show | diff) ;;
        lsp) [[ $cur == -* ]] && mapfile -t COMPREPLY < <(compgen -W "--help -h" -- "$cur"); return ;;
        *) return ;;
    esac
    case $prev in
        --charset) mapfile -t COMPREPLY < <(compgen -W "CP866 CP1251 KOI8-R" -- "$cur"); return ;;
        --eol) mapfile -t COMPREPLY < <(compgen -W "lf crlf" -- "$cur"); return ;;
        --layout) mapfile -t COMPREPLY < <(compgen -W "stored tidy" -- "$cur"); return ;;
        --dialect) mapfile -t COMPREPLY < <(compgen -W "alasm sjasmplus pasmo" -- "$cur"); return ;;
        --name | --main | --start) return ;;
        -o | --output) mapfile -t COMPREPLY < <(compgen -f -- "$cur"); return ;;
    esac
    if [[ $cur == -* ]]; then
        local options="--quiet -q --help -h"
        case $verb in
            text) options+=" --output -o --force --charset --eol --layout --dialect --main --alasm-text --verbose -v" ;;
            pack) options+=" --output -o --force --charset --name --start --verbose -v" ;;
            put) options+=" --output -o --force --name --start --charset --eol --layout --verbose -v" ;;
            get) options+=" --output -o --force --hobeta --verbose -v" ;;
            show) options="--charset --textconv --alasm-text --help -h" ;;
            diff) options="--charset --alasm-text --help -h" ;;
            *) options+=" --json --charset --alasm-text" ;;
        esac
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    # put's DISK, its first word that is no option: what put writes into
    # (a .trd, an .scl, an FDI or UDI floppy image, a Hobeta file; a TD0 is
    # read only), and folders on the way to one.
    if [[ $verb == put ]] && ! _korvex_disk_given; then
        local file caseless
        caseless=$(shopt -p nocasematch)
        shopt -s nocasematch
        COMPREPLY=()
        while IFS= read -r file; do
            [[ -d $file || $file == *.@(trd|scl|fdi|udi|\$?) ]] && COMPREPLY+=("$file")
        done < <(compgen -f -- "$cur")
        $caseless
        return
    fi
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}

# Whether a word before the current one, past the verb, is put's DISK: one
# that is neither an option nor an option's value.
_korvex_disk_given() {
    local i word
    for ((i = 2; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            -o | --output | --name | --start | --charset | --eol | --layout) ((i++)) ;;
            -*) ;;
            *) return 0 ;;
        esac
    done
    return 1
}
complete -o filenames -F _korvex korvex
