#!/usr/bin/env bash
# Installs what is missing, builds a release build and starts the program on a demo database.
# The program's main window is not built yet: for now this builds the libraries and stops.
source "$(dirname "$0")/tools/common.sh"
cd "$ZELKOR_TOP"
install_packages "${BASE_PACKAGES[@]}"
configure_and_build build/release -DCMAKE_BUILD_TYPE=Release -DZELKOR_TESTS=OFF
echo "Built. The program's main window is not part of this build yet."
