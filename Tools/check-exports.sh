#!/usr/bin/env bash
# Fails unless the library exports exactly the functions in
# Src/api/exports.list: the Windows DLL under their decorated stdcall names
# (_Name@Bytes; plain names for a 64-bit DLL), the Linux shared library
# under their plain names and nothing else.
set -euo pipefail
lib=$1
root="$(cd "$(dirname "$0")/.." && pwd)"
list=$(grep -E '^KOVA_' "$root/Src/api/exports.list")
case "$lib" in
*.dll)
  # The COFF machine field says which toolchain's objdump reads the DLL.
  pe=$(od -An -tu4 -j60 -N4 "$lib" | tr -d ' ')
  machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$lib" | tr -d ' ')
  if [ "$machine" = 014c ]; then
    expected=$(echo "$list" | awk '{printf "_%s@%s\n", $1, $2}' | sort)
    actual=$(i686-w64-mingw32-objdump -p "$lib")
  else
    expected=$(echo "$list" | awk '{print $1}' | sort)
    actual=$(x86_64-w64-mingw32-objdump -p "$lib")
  fi
  actual=$(echo "$actual" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort)
  ;;
*)
  expected=$(echo "$list" | awk '{print $1}' | sort)
  actual=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
  ;;
esac
if [ "$expected" != "$actual" ]; then
  echo "Export table of $lib differs from Src/api/exports.list:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "Export table of $lib: $(echo "$actual" | wc -l) names, as listed."

# A 32-bit GCC client links against the import library beside the DLL the
# ordinary way, every export by the name its compiler gives it.
implib="$(dirname "$lib")/lib$(basename "$lib").a"
if [ "${machine:-}" = 014c ] && [ -f "$implib" ]; then
  client=$(mktemp -d)
  trap 'rm -rf "$client"' EXIT
  {
    echo '#include "KovaDecoder.h"'
    echo 'void *const every_export[] = {'
    echo "$list" | awk '{printf "    (void *)&%s,\n", $1}'
    echo '};'
    echo 'int main() { return every_export[0] ? 0 : 1; }'
  } >"$client/client.cpp"
  i686-w64-mingw32-g++ -I"$root/Src/api" -I"$root/Src/public" "$client/client.cpp" "$implib" -o "$client/client.exe"
  echo "A 32-bit client links all $(echo "$list" | wc -l) exports through $(basename "$implib")."
fi
