#!/usr/bin/env bash
# Checks that every C and C++ source file in git is formatted as the project's .clang-format says.
# Generated sources live in the build trees, never in git, so nothing is left out. Lists the files
# that are not formatted and fails when there is any; `clang-format -i FILE` formats one.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
  echo "check_format: clang-format is not installed (scripts/setup.sh installs it)" >&2
  exit 1
fi
if ! files=$(git ls-files -- '*.cpp' '*.h' '*.c'); then
  echo "check_format: the sources must be a git checkout, to list them" >&2
  exit 1
fi
unformatted=()
while IFS= read -r file; do
  [ -n "$file" ] || continue
  if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
    unformatted+=("$file")
  fi
done <<<"$files"
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "These files are not formatted with clang-format (run clang-format -i on them):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "check_format: all $(printf '%s\n' "$files" | grep -c .) C and C++ sources are formatted"
