#!/usr/bin/env bash
# The two everyday commands of this repository:
#   ./run.sh demo [report args...]  build (Release) and run a report on the demo database
#   ./run.sh test                   build from scratch and run every test, plain and
#                                   under AddressSanitizer + UndefinedBehaviorSanitizer
# Both install the Debian packages they need when they are missing.
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(g++ cmake ninja-build pkg-config ccache libgtest-dev libgmock-dev libbenchmark-dev
          libsqlite3-dev libfmt-dev libcli11-dev nlohmann-json3-dev
          libxlsxwriter-dev libedit-dev python3 libssl-dev libcpp-httplib-dev
          freetds-bin tdsodbc unixodbc unixodbc-dev openssl chromium fonts-wqy-microhei)
# Chromium (with a font for the Chinese captions) runs the web viewer's browser test. Node and
# npm run the SQL Server driver tests and drive the browser; any installed node will do (a packaged node
# from elsewhere may already bring its own npm, which Debian's npm package would conflict with).
command -v node >/dev/null || PACKAGES+=(nodejs)
command -v npm >/dev/null || PACKAGES+=(npm)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "installing: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

jobs() { nproc 2>/dev/null || echo 2; }

build() {  # build <dir> <cmake args...>
  local dir=$1; shift
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
  cmake --build "$dir" -j "$(jobs)"
}

cmd=${1:-help}
shift || true
case "$cmd" in
  demo)
    install_packages
    build build/release -DCMAKE_BUILD_TYPE=Release -DORV_BUILD_TESTS=OFF
    exec build/release/orvdata demo run "$@"
    ;;
  test)
    install_packages
    rm -rf build/test build/asan
    # From scratch, a unity build (sixteen files compiled as one) takes a third of the time: the
    # headers and the inline code they bring are compiled once per sixteen files, not per file.
    unity=(-DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=16)
    build build/test -DCMAKE_BUILD_TYPE=Release "${unity[@]}"
    (cd build/test && ctest --output-on-failure -j "$(jobs)")
    build build/asan -DCMAKE_BUILD_TYPE=Debug -DORV_SANITIZE=ON "${unity[@]}"
    (cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
       ctest --output-on-failure -j "$(jobs)")
    ;;
  build)
    install_packages
    build build/release -DCMAKE_BUILD_TYPE=Release
    ;;
  *)
    sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'
    ;;
esac
