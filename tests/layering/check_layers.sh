#!/bin/sh
# Fails when a source of either program includes a header from a layer above
# its own. The layers, lowest first (a folder may include its own headers,
# those of the layers below, and common/, which is below everything):
#   game:  rules < screen < shops, tools < app
#   chat:  config < session < ui, ircclient < app
# shops and tools stand side by side and may include each other; ui and
# ircclient stand side by side and may not (the program's screens never call
# the library, and the library draws nothing).
# Usage: check_layers.sh [ROOT]   (ROOT: the repository, by default the one
# holding this script)
set -eu
root=${1:-"$(dirname "$0")/../.."}
cd "$root"

# Prints the layer's rank in its program, or nothing for a folder outside the
# layers.
rank() {
    case $1 in
        common) echo 0 ;;
        game/rules | chat/config) echo 1 ;;
        game/screen | chat/session) echo 2 ;;
        game/shops | game/tools | chat/ui | chat/ircclient) echo 3 ;;
        game/app | chat/app) echo 4 ;;
    esac
}

# The folder of a path below game/, chat/ or common/: its first two parts, or
# "common".
folder() {
    case $1 in
        common/*) echo common ;;
        *) echo "$1" | cut -d/ -f1-2 ;;
    esac
}

bad=0
sources=$(find game chat common -name '*.h' -o -name '*.cpp' 2>/dev/null | sort)
for file in $sources; do
    from=$(folder "$file")
    from_rank=$(rank "$from")
    if [ -z "$from_rank" ]; then
        echo "$file: in no layer (add its folder to the layers)"
        bad=1
        continue
    fi
    for header in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file"); do
        to=$(folder "$header")
        to_rank=$(rank "$to")
        if [ -z "$to_rank" ]; then
            echo "$file: includes $header, which is in no layer"
            bad=1
            continue
        fi
        [ "$to" = "$from" ] && continue
        [ "$to" = common ] && continue
        if [ "${from%%/*}" != "${to%%/*}" ]; then
            echo "$file: includes $header of the other program"
            bad=1
        elif [ "$to_rank" -gt "$from_rank" ]; then
            echo "$file: includes $header from a layer above its own"
            bad=1
        elif [ "$to_rank" -eq "$from_rank" ] && [ "$from_rank" != 3 -o "${from%%/*}" != game ]; then
            echo "$file: includes $header from a layer beside its own"
            bad=1
        fi
    done
done
if [ "$bad" != 0 ]; then
    echo "Layering broken: move the code down a layer, or pass it in."
    exit 1
fi
echo "Layers hold: $(echo "$sources" | wc -l) files checked."
