#!/usr/bin/env bash
# Self-test of scripts/sandbox and scripts/sandbox-host.
#
#   tests/sandbox/selftest.sh                       (makes its sandboxes itself)
#   scripts/sandbox -- tests/sandbox/selftest.sh    (same checks, one level deeper)
#
# Prints one PASS/FAIL line per check and exits non-zero when any check fails. Everything is
# bounded in time: every sandbox runs under `timeout`, every socket wait has a time-out.
set -uo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
SELF="$HERE/$(basename "${BASH_SOURCE[0]}")"
ROOT="$(cd "$HERE/../.." && pwd)"
SANDBOX="$ROOT/scripts/sandbox"
HOST="$ROOT/scripts/sandbox-host"
LIMIT=30 # seconds for any one sandbox run

failures=0
pass() { echo "PASS: $*"; }
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
check() { # check DESCRIPTION COMMAND...
  local what="$1"
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

# ---------------------------------------------------------------------------------------------
# Checks that run inside a sandbox.
# ---------------------------------------------------------------------------------------------
link_names() { ip -o link show | awk -F': ' '{print $2}' | sed 's/@.*//'; }

only_lo_and_tv() {
  local n
  for n in $(link_names); do
    [ "$n" = lo ] || [[ "$n" == tv* ]] || return 1
  done
}

phase_lo() {
  check "inside: TARVO_SANDBOX=1" [ "${TARVO_SANDBOX:-}" = 1 ]
  check "inside: lo is up" sh -c 'ip -o link show lo | grep -q "[<,]UP[,>]"'
  check "inside: lo has multicast on" sh -c 'ip -o link show lo | grep -q "MULTICAST"'
  check "inside: 224.0.0.0/4 is routed via lo" \
    sh -c 'ip route show 224.0.0.0/4 | grep -q "^224.0.0.0/4 dev lo"'
  check "inside: no interface but lo and tv*" only_lo_and_tv
  check "inside: /sys/class/net shows the same interfaces" \
    sh -c '[ "$(ls /sys/class/net | sort)" = "$(ip -o link show | awk -F": " "{print \$2}" | sed "s/@.*//" | sort)" ]'
  check "inside: multicast to 233.0.0.1:5250 loops back over lo" timeout 10 python3 - <<'EOF'
import socket, struct, sys
r = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
r.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
r.bind(("0.0.0.0", 5250))
r.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
             struct.pack("4s4s", socket.inet_aton("233.0.0.1"), socket.inet_aton("127.0.0.1")))
r.settimeout(2.0)
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
s.sendto(b"tarvo-lo", ("233.0.0.1", 5250))
try:
    data, src = r.recvfrom(100)
except socket.timeout:
    sys.exit(1)
sys.exit(0 if data == b"tarvo-lo" else 1)
EOF
  return 0
}

# ping that works without the ping tool: one ICMP echo over a raw socket (root in the sandbox).
ping_once() { # ping_once ADDRESS
  if command -v ping >/dev/null 2>&1; then
    timeout 5 ping -n -q -c1 -W1 "$1" >/dev/null 2>&1
    return
  fi
  timeout 5 python3 - "$1" <<'EOF'
import os, socket, struct, sys, time
def csum(b):
    if len(b) % 2: b += b"\0"
    s = sum(struct.unpack("!%dH" % (len(b) // 2), b))
    s = (s >> 16) + (s & 0xffff); s += s >> 16
    return ~s & 0xffff
dst = sys.argv[1]
ident = os.getpid() & 0xffff
sock = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_ICMP)
body = b"tarvo-ping"
hdr = struct.pack("!BBHHH", 8, 0, 0, ident, 1)
sock.sendto(struct.pack("!BBHHH", 8, 0, csum(hdr + body), ident, 1) + body, (dst, 0))
deadline = time.monotonic() + 1.0
while True:
    left = deadline - time.monotonic()
    if left <= 0: sys.exit(1)
    sock.settimeout(left)
    try:
        pkt, src = sock.recvfrom(1500)
    except socket.timeout:
        sys.exit(1)
    ihl = (pkt[0] & 0x0f) * 4
    t, _, _, i, _ = struct.unpack("!BBHHH", pkt[ihl:ihl + 8])
    if t == 0 and i == ident and src[0] == dst: sys.exit(0)
EOF
}

host_mac() { "$HOST" "$1" ip -o link show eth0 | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p'; }

phase_hosts() {
  phase_lo
  check "hosts: TARVO_SANDBOX_HOSTS=2" [ "${TARVO_SANDBOX_HOSTS:-}" = 2 ]
  check "hosts: TARVO_SANDBOX_BRIDGE_ADDR=10.250.0.1" [ "${TARVO_SANDBOX_BRIDGE_ADDR:-}" = 10.250.0.1 ]
  check "hosts: pid file per host in TARVO_SANDBOX_DIR" \
    test -s "${TARVO_SANDBOX_DIR:-/nonexistent}/host1.pid" -a -s "${TARVO_SANDBOX_DIR:-/nonexistent}/host2.pid"
  check "hosts: tvbr0 has 10.250.0.1/24" sh -c 'ip -o -4 addr show tvbr0 | grep -q "10.250.0.1/24"'
  check "hosts: multicast snooping off on tvbr0" \
    sh -c '[ "$(cat /sys/class/net/tvbr0/bridge/multicast_snooping)" = 0 ]'
  check "hosts: tvh1 and tvh2 are ports of tvbr0" \
    sh -c 'ip -o link show master tvbr0 | grep -q " tvh1@" && ip -o link show master tvbr0 | grep -q " tvh2@"'

  local k addr mac
  for k in 1 2; do
    addr="10.250.0.$((10 + k))"
    mac="$(printf '02:00:0a:fa:00:%02x' $((10 + k)))"
    check "host $k: eth0 has $addr/24" \
      sh -c "'$HOST' $k ip -o -4 addr show eth0 | grep -q ' $addr/24 '"
    check "host $k: MAC is $mac" [ "$(host_mac $k)" = "$mac" ]
    check "host $k: only lo and eth0" \
      sh -c "[ \"\$('$HOST' $k ip -o link show | awk -F': ' '{print \$2}' | sed 's/@.*//' | sort | tr '\n' ' ')\" = 'eth0 lo ' ]"
    check "host $k: lo is up" sh -c "'$HOST' $k ip -o link show lo | grep -q '[<,]UP[,>]'"
    check "host $k: default route via 10.250.0.1" \
      sh -c "'$HOST' $k ip route show default | grep -q '^default via 10.250.0.1 dev eth0'"
    check "host $k: 224.0.0.0/4 via eth0" \
      sh -c "'$HOST' $k ip route show 224.0.0.0/4 | grep -q '^224.0.0.0/4 dev eth0'"
    check "host $k: TARVO_SANDBOX_HOST=$k" \
      sh -c "[ \"\$('$HOST' $k printenv TARVO_SANDBOX_HOST)\" = $k ]"
    check "host $k: /sys/class/net shows its eth0 MAC" \
      sh -c "[ \"\$('$HOST' $k cat /sys/class/net/eth0/address)\" = $mac ]"
    check "sandbox pings host $k" ping_once "$addr"
  done
  check "host 1 pings host 2" "$HOST" 1 bash -c "$(declare -f ping_once); ping_once 10.250.0.12"
  check "host 2 pings host 1" "$HOST" 2 bash -c "$(declare -f ping_once); ping_once 10.250.0.11"
  check "host 1 pings the bridge" "$HOST" 1 bash -c "$(declare -f ping_once); ping_once 10.250.0.1"
  check "host 2 pings the bridge" "$HOST" 2 bash -c "$(declare -f ping_once); ping_once 10.250.0.1"

  check "multicast from host 1 to 233.0.0.1:5250 arrives on tvbr0" timeout 15 python3 - "$HOST" <<'EOF'
import socket, struct, subprocess, sys
host_tool = sys.argv[1]
bridge_index = socket.if_nametoindex("tvbr0")
r = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
r.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
IP_PKTINFO = getattr(socket, "IP_PKTINFO", 8)  # 8 on Linux; older Pythons lack the name
r.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
r.bind(("0.0.0.0", 5250))
r.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
             struct.pack("4s4s", socket.inet_aton("233.0.0.1"), socket.inet_aton("10.250.0.1")))
r.settimeout(1.0)
sender = (
    "import socket\n"
    "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
    "s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)\n"
    "s.sendto(b'tarvo-host1', ('233.0.0.1', 5250))\n"
)
for attempt in range(3):
    subprocess.run([host_tool, "1", sys.executable, "-c", sender], check=True, timeout=5)
    try:
        while True:
            data, anc, _, src = r.recvmsg(100, socket.CMSG_SPACE(12))
            ifindex = None
            for level, kind, payload in anc:
                if level == socket.IPPROTO_IP and kind == IP_PKTINFO:
                    ifindex = struct.unpack("I4s4s", payload[:12])[0]
            if data == b"tarvo-host1" and src[0] == "10.250.0.11" and ifindex == bridge_index:
                sys.exit(0)
    except socket.timeout:
        continue
sys.exit(1)
EOF

  check "sandbox-host refuses an unknown host" \
    sh -c "'$HOST' 3 true 2>/dev/null; [ \$? -eq 125 ]"
  check "sandbox-host passes the exit status on" \
    sh -c "'$HOST' 1 sh -c 'exit 7'; [ \$? -eq 7 ]"
  return 0
}

# ---------------------------------------------------------------------------------------------
# Checks on the sandbox's life cycle, from the calling side.
# ---------------------------------------------------------------------------------------------

# Network namespaces (net:[inode]) that are still held by any process.
live_netns() {
  local p
  for p in /proc/[0-9]*; do readlink "$p/ns/net" 2>/dev/null; done | sort -u
}

# Runs a sandbox with 2 hosts whose command records its own and the hosts' network namespaces
# and its temp dir in $state, then runs SHELL_CODE (e.g. exit 3). Afterwards no process may be
# left in any of those namespaces (holders, daemons the command started) and the temp dir must
# be gone.
leaves_nothing() { # leaves_nothing WHAT STATUS_WANTED SHELL_CODE
  local what="$1" want="$2" code="$3" state status
  state="$(mktemp)"
  timeout "$LIMIT" "$SANDBOX" --hosts 2 -- bash -c '
    readlink /proc/self/ns/net >"$0"
    for k in 1 2; do readlink /proc/$(cat "$TARVO_SANDBOX_DIR/host$k.pid")/ns/net; done >>"$0"
    echo "dir $TARVO_SANDBOX_DIR" >>"$0"
    '"$code" "$state"
  status=$?
  check "$what: exit status is $want" [ "$status" = "$want" ]
  local dir nslist leftover=""
  dir="$(sed -n 's/^dir //p' "$state")"
  nslist="$(grep '^net:' "$state")"
  check "$what: hosts were made" [ "$(echo "$nslist" | sort -u | grep -c .)" = 3 ]
  # The kernel may need a moment to finish tearing down; bounded.

  for _ in 1 2 3 4 5 6 7 8 9 10; do
    leftover="$(comm -12 <(echo "$nslist" | sort -u) <(live_netns))"
    [ -z "$leftover" ] && break
    sleep 0.1
  done
  check "$what: no process remains in the sandbox or its hosts" [ -z "$leftover" ]
  check "$what: temp dir removed" [ -n "$dir" ] && [ ! -e "$dir" ]
  rm -f "$state"
}

phase_outer() {
  local status t0 t1

  timeout "$LIMIT" "$SANDBOX" -- "$SELF" __phase_lo__ || fail "checks inside a plain sandbox"
  timeout "$LIMIT" "$SANDBOX" --hosts 2 -- "$SELF" __phase_hosts__ || fail "checks inside a sandbox with 2 hosts"

  timeout "$LIMIT" "$SANDBOX" -- sh -c 'exit 42'
  check "exit status 42 is passed on" [ $? = 42 ]
  timeout "$LIMIT" "$SANDBOX" true
  check "exit status 0 is passed on" [ $? = 0 ]
  timeout "$LIMIT" "$SANDBOX" -- sh -c 'kill -KILL $$'
  check "a command killed by SIGKILL gives 137" [ $? = 137 ]
  timeout "$LIMIT" "$SANDBOX" --hosts 65 true 2>/dev/null
  check "--hosts 65 is refused with 125" [ $? = 125 ]
  check "stdin reaches the command" sh -c "[ \"\$(echo hello | timeout $LIMIT '$SANDBOX' cat)\" = hello ]"

  leaves_nothing "normal end" 0 'true'
  leaves_nothing "failing command" 3 'exit 3'
  leaves_nothing "command killed by a signal" 143 'kill -TERM $$'
  leaves_nothing "daemon left behind" 0 'setsid sleep 300 </dev/null >/dev/null 2>&1 & exit 0'

  # SIGTERM to the sandbox reaches the command; everything goes away.
  local state
  state="$(mktemp)"
  env --default-signal=TERM,INT timeout "$LIMIT" "$SANDBOX" --hosts 1 -- bash -c '
    echo "dir $TARVO_SANDBOX_DIR" >"$0"; trap "echo term >>\"$0\"; exit 9" TERM
    sleep 20 & wait' "$state" &
  local pid=$!
  for _ in $(seq 1 100); do grep -q '^dir ' "$state" && break; sleep 0.05; done
  kill -TERM "$pid"
  wait "$pid" 2>/dev/null
  status=$?
  check "SIGTERM to the sandbox reaches the command" grep -q '^term' "$state"
  check "SIGTERM to the sandbox: exit status of the command (9)" [ "$status" = 9 ]
  check "SIGTERM to the sandbox: temp dir removed" [ ! -e "$(sed -n 's/^dir //p' "$state")" ]
  rm -f "$state"

  # SIGKILL to the sandbox script: the sandbox still winds down (COMMAND gets SIGTERM).
  state="$(mktemp)"
  timeout "$LIMIT" "$SANDBOX" --hosts 1 -- bash -c '
    { readlink /proc/self/ns/net; readlink /proc/$(cat "$TARVO_SANDBOX_DIR/host1.pid")/ns/net; } >"$0"
    trap "echo term >>\"$0\"; exit 0" TERM
    sleep 20 & wait' "$state" &
  pid=$!
  for _ in $(seq 1 100); do [ "$(grep -c '^net:' "$state")" = 2 ] && break; sleep 0.05; done
  kill -KILL "$(pgrep -P "$pid" | head -n1)" 2>/dev/null # the script under timeout
  wait "$pid" 2>/dev/null
  local leftover nslist
  nslist="$(grep '^net:' "$state")"
  for _ in $(seq 1 50); do
    leftover="$(comm -12 <(echo "$nslist" | sort -u) <(live_netns))"
    [ -z "$leftover" ] && break
    sleep 0.1
  done
  check "SIGKILL to the sandbox script: the command gets SIGTERM" grep -q '^term' "$state"
  check "SIGKILL to the sandbox script: no process remains" [ -z "$leftover" ]
  rm -f "$state"

  check "nested sandbox gets a fresh network namespace" timeout "$LIMIT" "$SANDBOX" --hosts 1 -- bash -c '
    outer="$(readlink /proc/self/ns/net)"
    inner="$("$0" --hosts 2 -- sh -c "readlink /proc/self/ns/net; ip -o link show | wc -l; echo \$TARVO_SANDBOX_HOSTS")"
    [ "$(echo "$inner" | sed -n 1p)" != "$outer" ] &&
      [ "$(echo "$inner" | sed -n 2p)" = 4 ] && [ "$(echo "$inner" | sed -n 3p)" = 2 ]' "$SANDBOX"

  t0=$(date +%s%N)
  timeout "$LIMIT" "$SANDBOX" true
  t1=$(date +%s%N)
  echo "info: sandbox without hosts took $(((t1 - t0) / 1000000)) ms"
  check "sandbox without hosts starts in < 0.5 s" [ $(((t1 - t0) / 1000000)) -lt 500 ]
  t0=$(date +%s%N)
  timeout "$LIMIT" "$SANDBOX" --hosts 8 true
  t1=$(date +%s%N)
  echo "info: sandbox with 8 hosts took $(((t1 - t0) / 1000000)) ms"
  check "sandbox with 8 hosts starts in < 5 s" [ $(((t1 - t0) / 1000000)) -lt 5000 ]
}

case "${1:-}" in
  __phase_lo__) phase_lo ;;
  __phase_hosts__) phase_hosts ;;
  "")
    if [ "${TARVO_SANDBOX:-}" = 1 ]; then
      echo "info: running inside a sandbox; the checks below make nested sandboxes"
      phase_lo
    fi
    phase_outer
    ;;
  *)
    echo "usage: tests/sandbox/selftest.sh" >&2
    exit 2
    ;;
esac

if [ "$failures" -gt 0 ]; then
  echo "selftest: $failures check(s) FAILED"
  exit 1
fi
[ -n "${1:-}" ] || echo "selftest: all checks passed"
exit 0
