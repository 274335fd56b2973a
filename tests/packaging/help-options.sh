#!/usr/bin/env bash
# help-options.sh PROGRAM PAGE.scd: the options PROGRAM --help lists are those the page lists.
set -euo pipefail
options() { grep -oE -- '--?[a-zA-Z-]+' | LC_ALL=C sort; }
help=$("$1" --help | grep -oE '^ +(-[a-zA-Z], )?--[a-z-]+' | options)
page=$(grep -oE '^\*--?[a-zA-Z-]+\*(, \*--[a-z-]+\*)?' "$2" | options)
[ -n "$help" ] || { echo "no options in $1 --help"; exit 1; }
diff -u <(echo "$help") <(echo "$page") --label "$1 --help" --label "$2"
