#!/usr/bin/env bash
# Fails when a library includes a header of a library above it. The layers,
# lowest first:
#
#   support  i18n  app  payload  install  uninstall  ui
#
# A file in src/<layer>/ (or in tests/<layer>/) may include "<other>/..." only
# for an <other> at or below <layer>. A folder that is no layer is refused in
# src/; tests/ may also include their own helpers (test_support/, fixtures/)
# and the tools' library common/, which links support only. src/app/install_main.cpp
# and src/app/uninstall_main.cpp, the entry points of Install.exe and
# Uninstall.exe, stand above every layer and are not checked.
#
#   tools/check-layers.sh ROOT      check ROOT/src and ROOT/tests
#   tools/check-layers.sh --cases   the check's own cases, on a planted tree
set -euo pipefail

layers=(support i18n app payload install uninstall ui)
test_helpers=' test_support fixtures common '

rank() {
    local i
    for i in "${!layers[@]}"; do
        [[ ${layers[$i]} == "$1" ]] && { echo "$i"; return; }
    done
    echo -1
}

if [[ ${1:-} == --cases ]]; then
    tree=$(mktemp -d)
    trap 'rm -rf "$tree"' EXIT
    mkdir -p "$tree/src/support" "$tree/src/app" "$tree/src/ui" "$tree/tests/payload"
    printf '#include "support/a.hpp"\n  #  include "ui/dialog.hpp"\n' >"$tree/src/support/low.cpp"
    printf '#include "support/a.hpp"\n#include "install/session.hpp"\n#include <ui/x.hpp>\n' >"$tree/src/ui/high.cpp"
    printf '#include "ui/dialog.hpp"\n' >"$tree/src/app/install_main.cpp"
    printf '#include "support/a.hpp"\n#include "common/convert.hpp"\n' >"$tree/src/app/tool_use.cpp"
    printf '// #include "install/x.hpp" is not an include\n#include "install/session.hpp"\n#include "common/convert.hpp"\n' \
        >"$tree/tests/payload/case_test.cpp"
    expected=$'src/support/low.cpp:2: support includes ui/, a layer above it\nsrc/app/tool_use.cpp:2: app includes common/, which is no layer\ntests/payload/case_test.cpp:2: payload includes install/, a layer above it'
    if found=$("$0" "$tree" 2>&1); then
        echo "check-layers: the planted upward includes passed" >&2
        exit 1
    fi
    if [[ $found != "$expected" ]]; then
        echo "check-layers: the planted tree gave:" >&2
        echo "$found" >&2
        exit 1
    fi
    echo "check-layers: the planted upward includes and the include of a tools folder found, none else"
    exit 0
fi

root=${1:?usage: check-layers.sh ROOT}
status=0
checked=0
for base in src tests; do
    for layer in "${layers[@]}"; do
        folder="$root/$base/$layer"
        [[ -d $folder ]] || continue
        own=$(rank "$layer")
        while IFS= read -r -d '' file; do
            [[ $file == */src/app/install_main.cpp || $file == */src/app/uninstall_main.cpp ]] && continue
            checked=$((checked + 1))
            while IFS=: read -r line included; do
                [[ -n $line ]] || continue
                other=$(rank "$included")
                if ((other < 0)) && [[ $base == src || $test_helpers != *" $included "* ]]; then
                    echo "${file#"$root"/}:$line: $layer includes $included/, which is no layer" >&2
                    status=1
                elif ((other > own)); then
                    echo "${file#"$root"/}:$line: $layer includes $included/, a layer above it" >&2
                    status=1
                fi
            done < <(grep -noP '^\s*#\s*include\s+"\K[a-z0-9_]+(?=/)' "$file" || true)
        done < <(find "$folder" -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.hpp' \) -print0)
    done
done
((checked > 0)) || { echo "check-layers: no sources below $root" >&2; exit 1; }
((status == 0)) && echo "check-layers: $checked files, no include of a higher layer"
exit $status
