# Shared by setup.sh and test.sh: installing what is missing, building,
# and a private Wine session (Xvfb display plus throwaway prefix).

QP_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QP_BUILD=${QP_BUILD:-$QP_ROOT/build}
QP_JOBS=${QP_JOBS:-$(nproc)}

QP_PACKAGES=(
  cmake ninja-build g++ python3
  gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  wine wine32:i386 xvfb xauth fonts-dejavu-core
  googletest libtomlplusplus-dev liblz4-dev zlib1g-dev
  clang libclang-rt-14-dev
  openssl osslsigncode
)

qp_log() { printf '\n== %s\n' "$*"; }

qp_install_deps() {
  local missing=() pkg
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    qp_log "adding the i386 architecture for 32-bit Wine"
    dpkg --add-architecture i386
    missing+=(wine32:i386)
  fi
  for pkg in "${QP_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || missing+=("$pkg")
  done
  if ((${#missing[@]})); then
    qp_log "installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

qp_build() {
  qp_log "native build"
  cmake -S "$QP_ROOT" -B "$QP_BUILD/native" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$QP_BUILD/native" -j "$QP_JOBS"
  qp_log "windows build"
  cmake -S "$QP_ROOT" -B "$QP_BUILD/windows" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$QP_ROOT/cmake/mingw-i686.cmake" >/dev/null
  cmake --build "$QP_BUILD/windows" -j "$QP_JOBS"
}

qp_build_sanitized() {
  qp_log "native build with AddressSanitizer and UBSan"
  cmake -S "$QP_ROOT" -B "$QP_BUILD/native-asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQP_SANITIZE=ON >/dev/null
  cmake --build "$QP_BUILD/native-asan" -j "$QP_JOBS"
}

# Starts Xvfb on a free display and makes a fresh 32-bit prefix; everything
# is removed again by qp_wine_stop (installed as an exit trap).
qp_wine_start() {
  local n
  for n in $(seq 91 140); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] || break
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  QP_XVFB_PID=$!
  export DISPLAY=":$n"
  export WINEPREFIX="$QP_BUILD/wineprefix"
  export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$WINEPREFIX"
  trap qp_wine_stop EXIT
  for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$n ]] && break; sleep 0.1; done
  qp_log "fresh Wine prefix $WINEPREFIX on display $DISPLAY"
  wineboot -i >/dev/null 2>&1
  qp_wine_real_folders
  # Xvfb runs no window manager: Wine would wait two seconds in vain for
  # each window it hides to be withdrawn by one.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
  # Keep one server for the whole run: each program then starts quickly.
  wineserver -p
  # The first window of a session brings up Wine's desktop; do it once here
  # rather than inside the first test's time.
  [[ -x $QP_BUILD/windows/uidriver.exe ]] && wine "$QP_BUILD/windows/uidriver.exe" list >/dev/null 2>&1 || true
}

# A new prefix links the user's Desktop, Documents and the like into the
# host's home; shortcuts and files written there must stay in the prefix.
qp_wine_real_folders() {
  local link
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [[ -L $link ]]; then
      rm -f "$link"
      mkdir -p "$link"
    fi
  done
}

qp_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
  [[ -n ${QP_XVFB_PID:-} ]] && kill "$QP_XVFB_PID" 2>/dev/null || true
  [[ -n ${WINEPREFIX:-} ]] && rm -rf "$WINEPREFIX"
}
