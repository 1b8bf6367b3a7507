#!/usr/bin/env bash
# Runs a Windows program under wine, headless, in the prefix WINEPREFIX names
# (made on first use); --prefix only makes it. WINE_WIDTH=32 takes the 32-bit
# loader (Debian's wine32), else the 64-bit one; Debian's wine64 package alone
# leaves its loader in /usr/lib/wine.
set -euo pipefail
: "${WINEPREFIX:?a private prefix}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "${WINE_WIDTH:-64}" = 32 ]; then
    loader=$(command -v wine || echo /usr/lib/wine/wine)
else
    loader=$(command -v wine64 || echo /usr/lib/wine/wine64)
fi
server=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
if [ "$1" = "--prefix" ]; then
    [ -f "$WINEPREFIX/system.reg" ] || "$loader" wineboot --init >/dev/null 2>&1
    "$server" --wait
    exit 0
fi
exec "$loader" "$@"
