#!/usr/bin/env bash
# The heavy reliability runs (`make stress`): 1,000 picks in one process and in the stand-in
# terminal, 200 loads in fresh processes, the terminal going away mid-run, and the
# hostile-registry matrix. Every test runs in a process of its own under Wine (the add-on stays
# in a process once loaded), with its log in the output folder; the figures (lines
# "FIGURE ...") are printed as they come. Run through tools/with-display.sh.
set -u
bin=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
export QX_STRESS_PICKS="${QX_STRESS_PICKS:-1000}"
export QX_STRESS_LOADS="${QX_STRESS_LOADS:-200}"
export QX_STRESS_SHEETS="${QX_STRESS_SHEETS:-100}"
mkdir -p "$out"
failed=0
echo "picks: $QX_STRESS_PICKS, loads: $QX_STRESS_LOADS, sheets: $QX_STRESS_SHEETS"
for program in e2e_resources e2e_hostile_registry; do
    "$here/wine-run.sh" "$bin/$program.exe" --gtest_list_tests >"$out/$program.list" 2>&1
    for test in $(tr -d '\r' <"$out/$program.list" | awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }'); do
        log="$out/$(echo "$test" | tr '/' '_').log"
        start=$SECONDS
        QX_WINE_TIMEOUT=1800 "$here/wine-run.sh" "$bin/$program.exe" --gtest_filter="$test" >"$log" 2>&1
        status=$?
        verdict=passed
        [ $status -eq 0 ] || { verdict="FAILED (see $log)"; failed=1; }
        echo "== $test: $verdict in $((SECONDS - start)) s"
        tr -d '\r' <"$log" | grep -a '^FIGURE' | sed 's/^FIGURE /   /'
    done
done
exit $failed
