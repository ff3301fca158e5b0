#!/usr/bin/env bash
# tools/install-deps.sh where the package index fails: the update fails each time and the first
# install with it, so the install is tried once more from the release suite alone; where that
# fails too, the script fails. Stand-in apt-get, dpkg and dpkg-query record their arguments.
set -u
script=$(cd "$(dirname "$0")/../.." && pwd)/tools/install-deps.sh
bin=$(mktemp -d)
trap 'rm -rf "$bin"' EXIT
cat >"$bin/apt-get" <<'STAND_IN'
#!/bin/sh
echo "apt-get $*" >>"$LOG"
case "$*" in *" update "*) exit 100 ;; *" install "*) n=$(grep -c ' install ' "$LOG"); [ "$n" -gt "$FAILS" ] || exit 100 ;; esac
STAND_IN
printf '#!/bin/sh\nexit 1\n' >"$bin/dpkg-query"
printf '#!/bin/sh\necho i386\n' >"$bin/dpkg"
printf '#!/bin/sh\nexec "$@"\n' >"$bin/sudo"
printf '#!/bin/sh\n' >"$bin/sleep"
chmod +x "$bin"/*
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
status=0
for fails in 1 2; do
    LOG=$bin/log.$fails FAILS=$fails PATH="$bin:$PATH" LLVM_VERSION=16 "$script" </dev/null >/dev/null 2>&1
    result=$?
    installs=$(grep -c ' install ' "$bin/log.$fails")
    retry=$(grep -c " install .*-t $codename .*wine32:i386" "$bin/log.$fails")
    echo "first $fails install(s) failing: exit $result, $installs installs, $retry from $codename alone"
    [ "$installs" -eq 2 ] && [ "$retry" -eq 1 ] || status=1
    { [ "$fails" -eq 1 ] && [ "$result" -eq 0 ]; } || { [ "$fails" -eq 2 ] && [ "$result" -ne 0 ]; } || status=1
done
exit $status
