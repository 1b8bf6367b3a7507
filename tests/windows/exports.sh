#!/usr/bin/env bash
# snmp.dll exports the six VTR_ entry points and imports only system DLLs and
# the host's Vantor.dll: the compiler's runtime and libgcrypt are inside.
set -euo pipefail
objdump=$1 module=$2 host_library=$3
status=0
table=$("$objdump" -p "$module")
for name in VTR_InitModule VTR_ExitModule VTR_GetModuleInfo VTR_GetDefineTable VTR_GetFunTable VTR_Initialize; do
    grep -qE "\] $name\$" <<<"$table" || { echo "missing export: $name"; status=1; }
done
for dll in "$module" "$host_library"; do
    imports=$("$objdump" -p "$dll" | awk '/DLL Name:/ {print $3}')
    others=$(grep -viE '^(kernel32|user32|ws2_32|bcrypt|advapi32|msvcrt|vantor)\.dll$' <<<"$imports" || true)
    if [ -n "$others" ]; then
        echo "$(basename "$dll") imports more than the system: $others"; status=1
    fi
done
exit $status
