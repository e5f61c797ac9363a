#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Gives every source file of the project the one-line licence header of its kind (the licence
# itself is in LICENSE):
#
#   // SPDX-License-Identifier: GPL-2.0-or-later     C++ sources and headers, first line
#   # SPDX-License-Identifier: GPL-2.0-or-later      scripts (after the #! line), CMake, Makefile
#
#   scripts/add-spdx-headers.sh           adds the header where it is missing
#   scripts/add-spdx-headers.sh --check   only lists the files without it; exits 1 if there are any
#
# Only files git tracks; a file that already names a licence is left as it is. Each file is
# rewritten beside itself and renamed over the old one, with its mode kept.
set -euo pipefail
cd "$(dirname "$0")/.."
id="SPDX-License-Identifier: GPL-2.0-or-later"
check=0
[ "${1:-}" = "--check" ] && check=1

missing=0
while IFS= read -r -d '' file; do
    [ -f "$file" ] && [ ! -L "$file" ] || continue
    head -n 3 -- "$file" | grep -q "SPDX-License-Identifier:" && continue
    case "$file" in
    *.cpp | *.h) style=cpp ;;
    *.sh | *.py) style=script ;;
    CMakeLists.txt | */CMakeLists.txt | *.cmake | Makefile) style=hash ;;
    *) continue ;;
    esac
    missing=1
    if [ $check -eq 1 ]; then
        printf '%s\n' "$file"
        continue
    fi
    tmp=$(mktemp "$(dirname -- "$file")/.spdx.XXXXXX")
    {
        case $style in
        cpp) printf '// %s\n' "$id"; cat -- "$file" ;;
        hash) printf '# %s\n' "$id"; cat -- "$file" ;;
        script)
            if head -c 2 -- "$file" | grep -q '^#!'; then
                head -n 1 -- "$file"
                printf '# %s\n' "$id"
                tail -n +2 -- "$file"
            else
                printf '# %s\n' "$id"
                cat -- "$file"
            fi
            ;;
        esac
    } >"$tmp"
    chmod --reference="$file" "$tmp"
    mv -f -- "$tmp" "$file"
done < <(git ls-files -z)

if [ $check -eq 1 ]; then
    exit $missing
fi
