#!/usr/bin/env bash
# lintian.sh SCRATCH: lintian finds no error and no warning in the package built there.
set -euo pipefail
command -v lintian >/dev/null || { echo "skipped: lintian is not installed"; exit 77; }
debs=("$1"/glimmora_*.deb)
[ -f "${debs[0]}" ] || { echo "skipped: no package was built"; exit 77; }
lintian --display-info --fail-on error,warning "${debs[0]}"
