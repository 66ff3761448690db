#!/usr/bin/env bash
# Installs what is missing, builds with the sanitizers, starts a private PostgreSQL server,
# runs every test and stops the server again. Extra arguments go to ctest (e.g. -L unit).
source "$(dirname "$0")/tools/common.sh"
cd "$ZELKOR_TOP"

install_packages "${BASE_PACKAGES[@]}" postgresql googletest libgmock-dev libgtest-dev libbenchmark-dev xvfb xauth
configure_and_build build/test -DCMAKE_BUILD_TYPE=Debug -DZELKOR_SANITIZE=ON -DZELKOR_BENCH=ON

source tools/pgserver.sh
# Armed before the start: a server that fails half-way is stopped and its folder removed too.
trap pg_stop EXIT
pg_start

set +e
# A build that yields no tests is a failure, not a pass.
ctest --test-dir build/test --output-on-failure --no-tests=error -j"$(nproc)" "$@"
status=$?
exit $status
