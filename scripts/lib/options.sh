# Sourced by the project's commands (scripts/, bench/) for what they all do
# alike with their arguments. Each command defines usage(), which prints its
# --help text, and sets program to the name it is called by.
#   refuse MESSAGE        one line naming the problem and pointing at --help; exit 2
#   need_value OPTION N   refuse OPTION unless it has a value (N: arguments left, itself included)
#   positive_integer TEXT whether TEXT is a whole number from 1 to 999999999
#   no_arguments "$@"     for a command that takes none: --help prints usage and exits 0,
#                         anything else is refused
#   need_tools TOOL...    where a TOOL is not installed: as root, install what the project
#                         needs (scripts/install-deps); as another user, exit 1 naming it
#   can_make PATH         whether PATH, or the nearest folder above it that exists, is a
#                         folder that can be written (so that PATH can be made there)

refuse() {
    echo "$program: $*; see $program --help" >&2
    exit 2
}

need_value() {
    [ "$2" -ge 2 ] || refuse "$1 needs a value"
}

positive_integer() {
    [[ "$1" =~ ^[0-9]{1,9}$ ]] && [ "$((10#$1))" -ge 1 ]
}

no_arguments() {
    case "${1:-}" in
    -h | --help) usage; exit 0 ;;
    "") ;;
    *) refuse "unknown argument $1 ($program takes none)" ;;
    esac
}

need_tools() {
    local tool missing=""
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { missing=$tool; break; }
    done
    [ -n "$missing" ] || return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "$program: $missing is missing: run scripts/install-deps as root" >&2
        exit 1
    fi
    echo "$program: $missing is missing: installing what the project needs (scripts/install-deps)" >&2
    "$(dirname "${BASH_SOURCE[0]}")/../install-deps" >&2 || exit 1
    for tool in "$@"; do
        command -v "$tool" >/dev/null ||
            { echo "$program: $tool is still missing after scripts/install-deps" >&2; exit 1; }
    done
}

can_make() {
    local parent=$1
    while [ ! -e "$parent" ] && [ "$parent" != "$(dirname "$parent")" ]; do parent=$(dirname "$parent"); done
    [ -d "$parent" ] && [ -w "$parent" ]
}
