# Sourced by scripts/test and scripts/run: installs whatever part of the
# toolchain this machine lacks. Needs root (or sudo) only when something is
# missing.
bench_install_deps() {
  local packages=(cmake g++ make pkg-config libgtest-dev googletest qt6-base-dev
                  libxlsxwriter-dev libsqlite3-dev
                  # the factory server: its client library, and the server
                  # the tests start and stop themselves
                  libpq-dev postgresql
                  python3 python3-openpyxl xvfb xauth fonts-noto-cjk imagemagick openbox
                  clang-format clang libclang-rt-dev
                  # verification records: drawn with cairo and pango in DejaVu Sans and
                  # Noto Sans CJK, read back by the tests with poppler's tools
                  libcairo2-dev libpango1.0-dev fonts-dejavu-core poppler-utils
                  # the Debian package: cpack's library dependencies, the icon
                  # rendering, and the checks of the package and its desktop entry
                  dpkg-dev file librsvg2-bin lintian desktop-file-utils
                  # the Windows build of the headless libraries, and wine to run
                  # its command-line tool
                  g++-mingw-w64-x86-64-posix wine64
                  # a serial device server in front of the virtual bench
                  ser2net)
  local missing=()
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

bench_jobs() { nproc 2>/dev/null || echo 2; }
