#!/usr/bin/env bash
# Runs a command that needs Wine, or exits with 77 (a skipped test) when the template prefix could not
# be made because this machine does not run 32-bit programs.
#   wine_or_skip.sh TEMPLATE COMMAND...
set -euo pipefail
template=$1
shift
if [ -f "$template.unavailable" ]; then
  echo "SKIP: $(cat "$template.unavailable")"
  exit 77
fi
exec "$@"
