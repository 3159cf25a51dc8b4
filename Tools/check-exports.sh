#!/usr/bin/env bash
# Fails unless the Windows DLL exports exactly the decorated names derived
# from Src/api/exports.list.
set -euo pipefail
dll=$1
root="$(cd "$(dirname "$0")/.." && pwd)"
expected=$(grep -E '^KOVA_' "$root/Src/api/exports.list" | awk '{printf "_%s@%s\n", $1, $2}' | sort)
actual=$(i686-w64-mingw32-objdump -p "$dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort)
if [ "$expected" != "$actual" ]; then
  echo "Export table of $dll differs from Src/api/exports.list:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "Export table of $dll: $(echo "$actual" | wc -l) names, as listed."
