#!/usr/bin/env bash
# Runs the write path's model test (tests/odbc/write_model_test.cpp) over new seeds on both
# drivers for as long as asked, and stops at the first seed that fails, printing it.
#
#   tools/writefuzz.sh 600            ten minutes
#   tools/writefuzz.sh 20000 steps    until 20000 steps have run
#
# Environment: ZELKOR_WRITEMODEL_FIRST (first seed; default from the clock), WRITEFUZZ_STEPS
# (steps per seed, default 60), WRITEFUZZ_DRIVERS ("sqlite pg", the default, or one of them).
# A failing seed is run again alone with ZELKOR_WRITEMODEL_SEED and ZELKOR_WRITEMODEL_STEPS.
source "$(dirname "$0")/common.sh"
cd "$ZELKOR_TOP"

amount=${1:?usage: tools/writefuzz.sh N [seconds|steps]}
unit=${2:-seconds}
case "$unit" in
  s|sec|second|seconds) unit=seconds ;;
  step|steps) unit=steps ;;
  *) echo "unit must be seconds or steps" >&2; exit 2 ;;
esac
per_seed=${WRITEFUZZ_STEPS:-60}
drivers=${WRITEFUZZ_DRIVERS:-sqlite pg}
seed=${ZELKOR_WRITEMODEL_FIRST:-$(( $(date +%s) % 1000000000 ))}

install_packages "${BASE_PACKAGES[@]}" postgresql googletest libgmock-dev libgtest-dev libbenchmark-dev
configure_and_build build/test -DCMAKE_BUILD_TYPE=Debug -DZELKOR_SANITIZE=ON -DZELKOR_BENCH=ON
binary=build/test/tests/odbc/odbc_tests

source tools/pgserver.sh
trap pg_stop EXIT
pg_start

log=$(mktemp)
trap 'rm -f "$log"; pg_stop' EXIT
start=$(date +%s)
steps=0
seeds=0
echo "seeds from $seed, $per_seed steps each, on: $drivers"
while :; do
  if [ "$unit" = seconds ]; then
    [ $(( $(date +%s) - start )) -lt "$amount" ] || break
  else
    [ "$steps" -lt "$amount" ] || break
  fi
  for d in $drivers; do
    case "$d" in
      sqlite) filter=OdbcStmt.RandomWritesAgreeWithTheModel ;;
      pg) filter=ServerStmt.RandomWritesAgreeWithTheModel ;;
      *) echo "unknown driver $d" >&2; exit 2 ;;
    esac
    if ! ZELKOR_WRITEMODEL_SEED=$seed ZELKOR_WRITEMODEL_STEPS=$per_seed "$binary" --gtest_filter="$filter" >"$log" 2>&1 ||
       ! grep -q '\[  PASSED  \] 1 test' "$log"; then
      cat "$log"
      echo
      echo "FAILED: seed $seed on $d after $seeds seeds and $steps steps"
      echo "again: ZELKOR_WRITEMODEL_SEED=$seed ZELKOR_WRITEMODEL_STEPS=$per_seed $binary --gtest_filter=$filter"
      echo "(with the server of tools/pgserver.sh for pg)"
      exit 1
    fi
    steps=$(( steps + per_seed ))
  done
  seeds=$(( seeds + 1 ))
  seed=$(( seed + 1 ))
done
echo "passed: $seeds seeds, $steps steps in $(( $(date +%s) - start )) s (last seed $(( seed - 1 )))"
