# Bash completion for the vexil tool: its commands, each command's options,
# and the kind of file each option or argument takes.

# Adds the lines a command prints to the completions (names with blanks stay whole).
_vexil_add() {
    local line
    while IFS= read -r line; do COMPREPLY+=("$line"); done < <("$@")
}

# Words from a list.
_vexil_words() {
    _vexil_add compgen -W "$1" -- "$cur"
}

# Files whose names match an extended pattern, and folders to go on into.
_vexil_files() {
    _vexil_add compgen -f -X "!$1" -- "$cur"
    _vexil_add compgen -d -- "$cur"
    compopt -o filenames 2>/dev/null
}

_vexil() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local command=${COMP_WORDS[1]} options=""
    local commands="info decode frame encode synth sample embed help"
    COMPREPLY=()
    shopt -s extglob
    if [[ $COMP_CWORD -eq 1 ]]; then
        _vexil_words "$commands -h --help -V --version"
        return
    fi
    case $command in
        info | sample) ;;
        decode) options="--y4m --alpha --wav --track --frames --preload --read-buffer --threads --quiet" ;;
        frame) options="-o --format --quiet" ;;
        encode) options="-o --audio --alpha --quality --keyint --revision --audio-codec --threads
                         --recon --recon-alpha --recon-wav --quiet" ;;
        synth) options="--y4m --wav --seconds --size --fps --quiet" ;;
        embed) options="-o --switches" ;;
        help) _vexil_words "$commands"; return ;;
        *) return ;;
    esac

    # The value an option takes.
    case $prev in
        --y4m | --alpha | --recon | --recon-alpha) _vexil_files '*.y4m'; return ;;
        --wav | --audio | --recon-wav) _vexil_files '*.wav'; return ;;
        -o)
            case $command in
                frame) _vexil_files '*.@(png|raw)' ;;
                encode) _vexil_files '*.vxl' ;;
                *) _vexil_files '*' ;;
            esac
            return ;;
        --threads) [[ $command == decode ]] && _vexil_words "0 1 2"; return ;;
        --format) _vexil_words "0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15"; return ;;
        --revision) _vexil_words "f g h i"; return ;;
        --audio-codec) _vexil_words "dct rdft"; return ;;
        --track | --frames | --read-buffer | --quality | --keyint | --seconds | --size | --fps | --switches)
            return ;;
    esac

    if [[ $cur == -* ]]; then
        _vexil_words "$options -h --help -V --version"
        return
    fi
    case $command in
        synth) [[ $COMP_CWORD -eq 2 ]] && _vexil_words "demo closing" ;;
        info | decode | frame) _vexil_files '*.vxl' ;;
        encode) _vexil_files '*.y4m' ;;
        *) _vexil_files '*' ;;
    esac
}
complete -F _vexil vexil
