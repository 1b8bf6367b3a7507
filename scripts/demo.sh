#!/usr/bin/env bash
# The main job: the example scripts with the stand-in host, against a private
# Net-SNMP agent and trap receiver started on loopback for the occasion.
#   scripts/demo.sh BIN_DIR
# tests/e2e/peers.py starts both servers, runs this script again with
# --with-peers (their ports in SNMPD_PORT, TRAPD_PORT, the log in TRAPD_LOG)
# and stops them when it ends.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" != "--with-peers" ]; then
    BIN=$(cd "$1" && pwd)
    echo "== Object identifiers as text (examples/oid.lua)"
    "$BIN/vantor-lua" "$ROOT/examples/oid.lua"
    echo
    exec /usr/bin/python3 "$ROOT/tests/e2e/peers.py" --snmpd --snmptrapd \
        --snmpd-conf "createUser demo SHA-256 demoauthpass AES demoprivpass" --snmpd-conf "rouser demo priv" \
        -- "$0" --with-peers "$BIN"
fi

BIN=$2
RUN="$BIN/vantor-lua"
AGENT="127.0.0.1:$SNMPD_PORT"
RECEIVER="127.0.0.1:$TRAPD_PORT"
echo "Agent (snmpd) on $AGENT, trap receiver (snmptrapd) on $RECEIVER, both private to this run."
echo

echo "== The system group, SNMPv1 (examples/walk.lua)"
"$RUN" "$ROOT/examples/walk.lua" "$AGENT" public system
echo

echo "== The interface table, SNMPv2c (examples/walk.lua, community +public)"
"$RUN" "$ROOT/examples/walk.lua" "$AGENT" +public ifEntry
echo

echo "== The interface table polled, one request a round (examples/poll.lua, community +public)"
"$RUN" "$ROOT/examples/poll.lua" "$AGENT" +public 2 1
echo

echo "== The agent's capabilities (sysORDescr) over SNMPv3, SHA-256 and AES (examples/v3_walk.lua)"
echo "   (as snmpwalk -v3 -l authPriv -u demo -a SHA-256 -A demoauthpass -x AES -X demoprivpass $AGENT system.9.1.3)"
"$RUN" "$ROOT/examples/v3_walk.lua" -u demo -a SHA-256 -A demoauthpass -x AES -X demoprivpass "$AGENT" system.9.1.3
echo
echo "== A few variables over SNMPv3 with AES (examples/get.lua, community #demo/SHA-256:.../AES:...)"
"$RUN" "$ROOT/examples/get.lua" "$AGENT" "#demo/SHA-256:demoauthpass/AES:demoprivpass" system.1.0 system.3.0 system.5.0
echo

echo "== Set sysContact and read it back (examples/set.lua, examples/get.lua)"
"$RUN" "$ROOT/examples/set.lua" "$AGENT" private system.4.0 "Vantor demo, $(date '+%Y-%m-%d %H:%M:%S')"
"$RUN" "$ROOT/examples/get.lua" "$AGENT" public system.4.0 system.5.0
echo

echo "== Send a trap (examples/trap.lua) and show the receiver's log"
count_traps() { grep -c 'TRAP, SNMP v1' "$TRAPD_LOG" || true; }
before=$(count_traps)
"$RUN" "$ROOT/examples/trap.lua" "$RECEIVER" public 6 17 enterprises.4242.1
# The receiver writes its lines a moment later: poll for them.
for _ in $(seq 200); do
    [ "$(count_traps)" -gt "$before" ] && break
    sleep 0.05
done
if [ "$(count_traps)" -le "$before" ]; then
    echo "snmptrapd logged nothing" >&2
    exit 1
fi
echo "snmptrapd logged:"
grep -A1 'TRAP, SNMP v1' "$TRAPD_LOG" | tail -n 2 | sed 's/^/    /'
echo
echo "Both servers stop now."
