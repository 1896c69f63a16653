#!/bin/sh
# The layering check itself: each case plants one include in a scratch tree
# and says whether the check must pass or fail on it.
set -eu
check="$(cd "$(dirname "$0")" && pwd)/check_layers.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# verdict  file              included header
cases='pass game/app/a.cpp game/rules/b.h
pass game/shops/a.cpp game/tools/b.h
pass game/tools/a.cpp game/shops/b.h
pass game/screen/a.cpp common/b.h
pass chat/ui/a.cpp chat/session/b.h
pass chat/ircclient/a.cpp chat/config/b.h
fail game/rules/a.cpp game/screen/b.h
fail game/screen/a.cpp game/shops/b.h
fail game/tools/a.h game/app/b.h
fail chat/config/a.cpp chat/session/b.h
fail chat/session/a.cpp chat/ui/b.h
fail chat/ui/a.cpp chat/ircclient/b.h
fail chat/ircclient/a.cpp chat/ui/b.h
fail game/app/a.cpp chat/config/b.h
fail common/a.cpp game/rules/b.h
fail game/core/a.cpp game/rules/b.h'
echo "$cases" | while read -r verdict file header; do
    rm -rf "$scratch/tree"
    mkdir -p "$scratch/tree/$(dirname "$file")" "$scratch/tree/$(dirname "$header")"
    : > "$scratch/tree/$header"
    printf '#include "%s"\n' "$header" > "$scratch/tree/$file"
    if sh "$check" "$scratch/tree" > "$scratch/out" 2>&1; then got=pass; else got=fail; fi
    if [ "$got" != "$verdict" ]; then
        echo "$file including $header: expected $verdict, got $got"
        cat "$scratch/out"
        echo x >> "$scratch/failed"
    fi
done
if [ -e "$scratch/failed" ]; then
    exit 1
fi
echo "The layering check tells every case apart."
