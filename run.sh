#!/usr/bin/env bash
# Installs what is missing, builds a release build, prepares a demo under ./demo (once; remove
# the folder for a fresh one, or name another with ZELKOR_DEMO) and starts the program on it.
# Without a display it says how to run it and exits.
source "$(dirname "$0")/tools/common.sh"
cd "$ZELKOR_TOP"

install_packages "${BASE_PACKAGES[@]}" sqlite3
configure_and_build build/release -DCMAKE_BUILD_TYPE=Release -DZELKOR_TESTS=OFF

demo=${ZELKOR_DEMO:-$ZELKOR_TOP/demo}
if [ ! -f "$demo/.ready" ]; then
  tools/demo/prepare_demo.sh "$demo"
fi
source "$demo/env.sh"

program="$ZELKOR_TOP/build/release/app/main/zelkor"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Built, and the demo is ready in $demo, but there is no display to show the window on."
  echo "Run it on a virtual display:   apt-get install xvfb xauth && xvfb-run -a ./run.sh"
  echo "or by hand:                    source $demo/env.sh && $program"
  exit 0
fi
echo "Starting $program (demo in $demo; exports go to $ZELKOR_ROOT/c/Izvoz)"
exec "$program" "$@"
