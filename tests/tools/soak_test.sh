#!/usr/bin/env bash
# tools/soak against stand-in programs that write the log lines a run of the show writes: the first-run
# figure is taken when the log shows a total score written by this run, and never without one (a log
# an earlier run left, scores and all, does not count). Each case takes the soak's shortest run, a minute;
# they run side by side.
set -euo pipefail
soak=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fake() {  # fake DIR SCORES: a program in DIR/bin that writes its log, with a total score after 3 s or never
  mkdir -p "$1/bin"
  cat >"$1/bin/vellacor06" <<SCRIPT
#!/usr/bin/env bash
echo "INFO: ---- [ vellacor06 ] Started ----" >"\$0.log"
sleep 3
[ "$2" = yes ] && echo "INFO: total score 1234" >>"\$0.log"
exec sleep 600
SCRIPT
  chmod +x "$1/bin/vellacor06"
}

fake "$work/ends" yes
fake "$work/stale" no
echo "INFO: total score 99" >"$work/stale/bin/vellacor06.log"  # left by an earlier run
"$soak" 1 "$work/ends" >"$work/ends.out" 2>&1 &
a=$!
"$soak" 1 "$work/stale" >"$work/stale.out" 2>&1 &
b=$!
wait $a && wait $b || { cat "$work"/*.out; exit 1; }

status=0
grep -Eq "^resident memory after the first run \(its scores at [3-6] s\): [0-9]+ MB, at the end \(1 min\)" \
  "$work/ends.out" || { echo "a run whose log shows its total score:"; cat "$work/ends.out"; status=1; }
grep -q "^no run of the show ended in 1 min" "$work/stale.out" ||
  { echo "a run whose log shows no total score of its own:"; cat "$work/stale.out"; status=1; }
exit $status
