#!/usr/bin/env bash
# tests/e2e/dissector.sh CLI SIM [CAPTURE]
#
# Captures the simulator and the CLI on lo (discover, net set, login, upgrade, NVR resolution,
# a second of recording; the NVR answers byte by byte) and checks that tools/wireshark/tarvo.lua
# decodes every exchange.
# Runs inside scripts/sandbox only. Exits 77 (skipped) when tshark is not installed. With
# CAPTURE, the capture is kept there.
set -euo pipefail

command -v tshark >/dev/null && command -v dumpcap >/dev/null || { echo "tshark absent: skipped"; exit 77; }
cli=$1 sim=$2 keep=${3:-}
lua="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/tools/wireshark/tarvo.lua"
[ "${TARVO_SANDBOX:-}" = 1 ] || { echo "run me through scripts/sandbox" >&2; exit 2; }

dir=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$dir"
}
trap cleanup EXIT

# Waits up to 60 s for a condition, polling.
wait_for() {
  for _ in $(seq 600); do eval "$1" && return 0; sleep 0.1; done
  echo "timed out waiting for: $1" >&2
  return 1
}

dumpcap -q -i lo -f 'udp port 5250 or tcp portrange 5500-5506' -w "$dir/cap.pcapng" 2>"$dir/dumpcap.log" &
pids+=($!)
dumpcap_pid=$!
wait_for "grep -q '^File:' '$dir/dumpcap.log'"

"$sim" --ready-file "$dir/ready" \
  --device 'ip=127.0.0.11,type=100,name=大门球机,version=v00.00.22.06,video.width=320,video.height=240' \
  --device 'ip=127.0.0.23,type=181,name=NVR-16,version=v8.9.1,outputResolution=4,tcpTrickleMs=1' >/dev/null &
pids+=($!)
wait_for "[ -e '$dir/ready' ]"

head -c 70000 /dev/zero >"$dir/IPC_update_00.00.23.06.img"
"$cli" discover --seconds 2 >/dev/null
"$cli" net set 127.0.0.11 --dns 10.9.8.7 >/dev/null
"$cli" login 127.0.0.11 --user admin >/dev/null
"$cli" upgrade --no-wait 127.0.0.11 "$dir/IPC_update_00.00.23.06.img" >/dev/null
"$cli" nvr-resolution 127.0.0.23 --set 2 >/dev/null
"$cli" record 127.0.0.11 --seconds 1 --out "$dir/clip.mp4" >/dev/null

kill -INT "$dumpcap_pid"
wait "$dumpcap_pid" || true
[ -z "$keep" ] || cp "$dir/cap.pcapng" "$keep"

fields=(tarvo.command tarvo.tag tarvo.target_addr tarvo.device_type tarvo.length tarvo.name
  tarvo.net.dns tarvo.user tarvo.version tarvo.file_name tarvo.file_size tarvo.accepted
  tarvo.nvr_resolution tarvo.stream.choice tarvo.stream.width tarvo.stream.height
  tarvo.packet.type tarvo.packet.length)
decode() { tshark -r "$dir/cap.pcapng" -X "lua_script:$lua" -Y "$1" -T fields -E separator='|' "${@:2}"; }
decode tarvo "${fields[@]/#/-e}" >"$dir/decoded"
decode '_ws.lua.error or _ws.malformed or tarvo.short or tarvo.bad_length or tarvo.length_mismatch or tarvo.oversize or tarvo.unknown_command or tarvo.bad_request' -e frame.number >"$dir/faults"

# expect DESCRIPTION FIELD=VALUE...: some decoded packet has all these values.
status=0
expect() {
  local description=$1; shift
  awk -F'|' -v names="${fields[*]}" -v want="$*" '
    BEGIN { n = split(names, name, " "); for (i = 1; i <= n; i++) column[name[i]] = i
            m = split(want, pair, " ") }
    { for (j = 1; j <= m; j++) { eq = index(pair[j], "=")
        # A field of several frames in one packet holds their values joined by ",".
        k = split($column[substr(pair[j], 1, eq - 1)], value, ",")
        for (hit = 0; k > 0 && !hit; k--) hit = value[k] == substr(pair[j], eq + 1)
        if (!hit) next }
      found = 1; exit }
    END { exit !found }' "$dir/decoded" || { echo "FAIL: $description: no packet with $*"; status=1; }
}
expect "discovery request" tarvo.command=10 tarvo.length=6
expect "discovery reply" tarvo.command=100 tarvo.device_type=100 tarvo.name=大门球机
expect "new DNS server" tarvo.command=106 tarvo.target_addr=x.x.0.11 tarvo.length=34 tarvo.net.dns=10.9.8.7
expect "UDP login" tarvo.command=0 tarvo.target_addr=x.x.0.11 tarvo.length=30 tarvo.user=admin
expect "TCP login" tarvo.command=0 tarvo.tag=11 tarvo.user=admin
expect "TCP login accepted" tarvo.command=0 tarvo.tag=0 tarvo.accepted=1 tarvo.length=12
expect "version reply" tarvo.command=103 tarvo.version=v00.00.22.06
expect "upgrade file name" tarvo.command=102 tarvo.length=134 tarvo.file_name=IPC_update_00.00.23.06.img
expect "upgrade size" tarvo.command=102 tarvo.file_size=70000
expect "upload accepted" tarvo.command=102 tarvo.tag=1 tarvo.accepted=1
expect "NVR resolution reply" tarvo.command=232 tarvo.nvr_resolution=4
expect "NVR resolution set" tarvo.command=233 tarvo.nvr_resolution=2
expect "stream request" tarvo.stream.choice=0
expect "stream reply" tarvo.stream.width=320 tarvo.stream.height=240
expect "media packet" tarvo.packet.type=0
if [ -s "$dir/faults" ]; then
  echo "FAIL: Lua errors, malformed or unexpected frames in $(tr '\n' ' ' <"$dir/faults")"
  status=1
fi
[ $status -eq 0 ] || { echo "decoded (${fields[*]}):"; sort -u "$dir/decoded" | head -60; }
exit $status
