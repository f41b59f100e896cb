#!/usr/bin/env bash
# Times `hxca log` on a large verbose log: builds a log of about SIZE_MB megabytes (default 100)
# in the layout of Wine's msiexec, with thousands of library actions and one failure near the end,
# then reads it as a summary, as JSON and compared with itself, showing time and peak memory.
#   scripts/bench-hxca-log.sh [SIZE_MB]      (after a native build: build/linux/hxca)
set -euo pipefail
cd "$(dirname "$0")/.."
size_mb=${1:-100}
hxca=build/linux/hxca
[ -x "$hxca" ] || { echo "build the native preset first ($hxca is missing)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/big.log

python3 - "$log" "$size_mb" <<'EOF'
import sys
path, size = sys.argv[1], int(sys.argv[2]) * 1024 * 1024
banner = "HXCA (CaProlog) info: zebiwicn.dll Built on Jan 15 2026 at 10:00:00; version 9.4.0.0, build p940-L260101"
with open(path, "w", newline="\n") as f:
    f.write("=== Logging started: 1/15/2026  10:00:00 ===\nAction start 10:00:00: INSTALL.\n")
    n = 0
    while f.tell() < size - 200_000:
        n += 1
        t = "%02d:%02d:%02d" % (10 + n // 3600 % 10, n // 60 % 60, n % 60)
        name = "iwiStep%d" % n
        out = ["Action %s: %s. " % (t, name), "Action start %s: %s." % (t, name), "%s %s" % (t, banner),
               "%s HXCA (CaProlog) info: User name is 'Administrator'" % t]
        for k in range(140):
            out.append("%s HXCA iwiStep(icsRead%d) info: Property 'ZEBPROP%d' value 'C:\\Program Files\\Corvane\\HX\\"
                       "data\\item%d' from property table" % (t, k % 7, k, k))
        failing = f.tell() > size - 400_000 and not getattr(sys, "failed", False)
        if failing:
            sys.failed = True
            out += ["%s HXCA iwiStep info: ***Can't open 'C:\\Temp\\zebp0001.txt' (5)" % t,
                    "%s HXCA iwiStep info: Returning with rc 1603" % t]
        else:
            out.append("%s HXCA iwiStep info: Returning with rc 0" % t)
        out.append("Action ended %s: %s. Return value %d." % (t, name, 0 if failing else 1))
        f.write("\n".join(out) + "\n")
    f.write("Action ended 11:00:00: INSTALL. Return value 0.\nProperty(S): ProductName = HX\n")
EOF

echo "log: $(du -h "$log" | cut -f1), $(wc -l <"$log") lines"
run() {
    local what=$1
    shift
    /usr/bin/time -f "$what: %e s, peak memory %M KB" "$@" >/dev/null 2>"$work/time" || true
    tail -1 "$work/time"
}
run "summary and the failing action" "$hxca" log "$log"
run "summary as JSON" "$hxca" log --json "$log"
run "compared with itself" "$hxca" log "$log" --diff "$log"
