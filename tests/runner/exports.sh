#!/usr/bin/env bash
# The module exports its six entry points with C linkage and no other C symbol of its own.
set -euo pipefail
module=$1
symbols=$(nm -D --defined-only "$module" | awk '{print $3}')
status=0
for name in VTR_InitModule VTR_ExitModule VTR_GetModuleInfo VTR_GetDefineTable VTR_GetFunTable VTR_Initialize; do
    if ! grep -qx "$name" <<<"$symbols"; then
        echo "missing export: $name"; status=1
    fi
done
# Anything unmangled other than the entry points (and the toolchain's own) is a leak of the module's names.
extra=$(grep -v -E '^(_Z|VTR_|_init$|_fini$|__bss_start$|_edata$|_end$|__asan|__ubsan|__sanitizer|__lsan)' <<<"$symbols" || true)
if [ -n "$extra" ]; then
    echo "unexpected C exports:"; echo "$extra"; status=1
fi
exit $status
