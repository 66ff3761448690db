# Shared by ./test.sh and ./run.sh: package installation and builds.
set -euo pipefail

ZELKOR_TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages that are missing (nothing is done when all are there).
install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

BASE_PACKAGES=(build-essential cmake pkg-config unixodbc unixodbc-dev libsqliteodbc odbc-postgresql
               libsqlite3-dev qt6-base-dev libgl-dev fonts-dejavu-core fonts-dejavu-extra)

# configure_and_build BUILD_DIR [cmake options...]
configure_and_build() {
  local dir=$1; shift
  cmake -S "$ZELKOR_TOP" -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}
