# Shared by setup.sh and test.sh: installing what is missing, building,
# deciding which Windows build this machine can run, and a private Wine
# session (Xvfb display plus throwaway prefix) for it.

QP_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QP_BUILD=${QP_BUILD:-$QP_ROOT/build}
QP_JOBS=${QP_JOBS:-$(nproc)}

QP_PACKAGES=(
  cmake ninja-build g++ python3
  gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64 wine32:i386 xvfb xauth fonts-dejavu-core
  googletest libtomlplusplus-dev liblz4-dev zlib1g-dev libzstd-dev liblzma-dev
  clang libclang-rt-14-dev
  openssl osslsigncode python3-jsonschema python3-yaml
)

# Each Windows build tree; the 32-bit one comes first.
QP_TREES=(windows windows64)
QP_TOOLCHAINS=(mingw-i686 mingw-x86_64)

qp_log() { printf '\n== %s\n' "$*"; }

# Runs a stage, prints how long it took and keeps the time for the summary.
# The stage's status is returned, so callers decide whether it stops them.
QP_STAGES=()
qp_stage() {
  local name=$1 start status=0
  shift
  qp_log "$name"
  start=$(date +%s)
  "$@" || status=$?
  local seconds=$(($(date +%s) - start))
  QP_STAGES+=("$(printf '%5d s  %s%s' "$seconds" "$name" "$([[ $status == 0 ]] || echo "  (failed: $status)")")")
  printf -- '-- %s: %d s\n' "$name" "$seconds"
  return $status
}

qp_stage_summary() {
  ((${#QP_STAGES[@]})) || return 0
  qp_log "time per stage"
  printf '%s\n' "${QP_STAGES[@]}"
}

# Whatever ends the script: the Wine session goes, the stage times stay.
qp_on_exit() {
  qp_wine_stop
  qp_stage_summary
}
trap qp_on_exit EXIT

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

qp_build_native() {
  cmake -S "$QP_ROOT" -B "$QP_BUILD/native" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null &&
    cmake --build "$QP_BUILD/native" -j "$QP_JOBS"
}

# Both Windows programs are always built, whichever this machine can run,
# so a compile error of either is caught everywhere.
qp_build_windows() {
  local i targets
  for i in "${!QP_TREES[@]}"; do
    targets=()
    # Once qp_choose_wine has found that 32-bit programs cannot run, the
    # 32-bit tree needs only what its static checks read.
    if [[ ${QP_WINE_ARCH:-} == x64 && ${QP_TREES[$i]} == windows ]]; then
      targets=(--target quillpack uidriver)
    fi
    cmake -S "$QP_ROOT" -B "$QP_BUILD/${QP_TREES[$i]}" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$QP_ROOT/cmake/${QP_TOOLCHAINS[$i]}.cmake" >/dev/null &&
      cmake --build "$QP_BUILD/${QP_TREES[$i]}" -j "$QP_JOBS" "${targets[@]}" || return
  done
  qp_gather_stubs
}

# qpkbuild takes its stub from beside itself: every build of it gets both.
qp_gather_stubs() {
  local dir stub
  for dir in native "${QP_TREES[@]}"; do
    for stub in windows/quillpack.exe windows64/quillpack64.exe; do
      [[ $QP_BUILD/$stub -ef $QP_BUILD/$dir/$(basename "$stub") ]] ||
        cp -p "$QP_BUILD/$stub" "$QP_BUILD/$dir/"
    done
  done
}

qp_build() {
  qp_stage "native build" qp_build_native || return
  qp_stage "windows builds (32-bit and 64-bit)" qp_build_windows
}

qp_build_sanitized() {
  cmake -S "$QP_ROOT" -B "$QP_BUILD/native-asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQP_SANITIZE=ON >/dev/null &&
    cmake --build "$QP_BUILD/native-asan" -j "$QP_JOBS"
}

# Decides once which Windows build the Wine tests run on and says why:
# QP_WINE_ARCH=x86 (the 32-bit program, where 32-bit Wine starts) or x64
# (the 64-bit program under 64-bit Wine). Setting QP_WINE_ARCH forces it.
qp_choose_wine() {
  local reason out status=0
  case ${QP_WINE_ARCH:-} in
    x86 | x64) reason="chosen by QP_WINE_ARCH" ;;
    "")
      # Through bash, so that a kernel refusing the binary says so instead
      # of the image being read as a shell script.
      out=$(timeout 20 bash -c '/usr/lib/wine/wine --version' 2>&1) || status=$?
      if ((status == 0)); then
        QP_WINE_ARCH=x86
        reason="32-bit Wine starts: $out"
      else
        QP_WINE_ARCH=x64
        if [[ ! -e /usr/lib/wine/wine ]]; then
          reason="32-bit Wine is not installed"
        elif ((status == 124)); then
          reason="32-bit Wine did not answer within 20 s"
        elif [[ $out == *"Exec format error"* ]]; then
          reason="kernel without 32-bit emulation"
        else
          reason="32-bit Wine fails: ${out:-exit status $status}"
        fi
      fi
      ;;
    *)
      echo "QP_WINE_ARCH must be x86 or x64, not '$QP_WINE_ARCH'" >&2
      return 1
      ;;
  esac
  export QP_WINE_ARCH
  if [[ $QP_WINE_ARCH == x86 ]]; then
    QP_WIN_BUILD=$QP_BUILD/windows
    qp_log "32-bit programs run here ($reason): testing the 32-bit build, and the 64-bit build's unit tests and main job"
  else
    QP_WIN_BUILD=$QP_BUILD/windows64
    if [[ $reason == "chosen by QP_WINE_ARCH" ]]; then
      qp_log "testing the 64-bit build ($reason)"
    else
      qp_log "32-bit programs cannot run here ($reason): testing the 64-bit build"
    fi
  fi
}

# Starts Xvfb on a free display and a fresh prefix of the kind the build tree
# in $1 needs (its wine_target.env says which loader and prefix); everything
# is removed again by qp_wine_stop, at the latest when the script exits.
qp_wine_start() {
  local tree=$1 n
  # shellcheck source=/dev/null
  source "$tree/wine_target.env"
  export QP_WINE QP_ARCH
  # Xvfb picks a free display itself and tells its number: sessions started
  # side by side would otherwise race for the same one.
  local told
  told=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$told" >/dev/null 2>&1 &
  QP_XVFB_PID=$!
  for _ in $(seq 100); do [[ -s $told ]] && break; sleep 0.1; done
  n=$(head -n 1 "$told")
  rm -f "$told"
  [[ -n $n ]] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$n"
  # A prefix of its own, so that sessions of the same tree can run side by side.
  mkdir -p "$QP_BUILD"
  WINEPREFIX=$(mktemp -d "$QP_BUILD/wineprefix-$QP_ARCH.XXXXXX")
  export WINEPREFIX
  export WINEARCH=$QP_WINE_PREFIX_ARCH WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # 64-bit Wine starts its helpers through WINELOADER.
  export WINELOADER=$QP_WINE
  QP_WINE_SESSION=1
  for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$n ]] && break; sleep 0.1; done
  qp_log "fresh $WINEARCH Wine prefix $WINEPREFIX on display $DISPLAY, programs of $tree"
  "$QP_WINE" wineboot -i >/dev/null 2>&1
  qp_wine_real_folders
  # Xvfb runs no window manager: Wine would wait two seconds in vain for
  # each window it hides to be withdrawn by one.
  "$QP_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
  # Keep one server for the whole run: each program then starts quickly.
  wineserver -p
  # The first window of a session brings up Wine's desktop; do it once here
  # rather than inside the first test's time.
  [[ -x $QP_UIDRIVER ]] && "$QP_WINE" "$QP_UIDRIVER" list >/dev/null 2>&1 || true
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
  [[ -n ${QP_WINE_SESSION:-} ]] || return 0
  wineserver -k >/dev/null 2>&1 || true
  kill "$QP_XVFB_PID" 2>/dev/null || true
  wait "$QP_XVFB_PID" 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  QP_WINE_SESSION=
}
