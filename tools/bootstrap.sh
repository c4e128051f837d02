#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian machine (Debian's packages,
# the npm packages pinned in package-lock.json) and builds the Windows dependencies (OpenSSL's
# libcrypto, tinyxml2, JsonCpp, Lua 5.4, GoogleTest) from Debian's source packages for both
# mingw-w64 triples into a cache outside the work tree.
#
# Idempotent: with the packages installed and the cache filled it only checks and returns.
# Cache location: $ORVALINEX_DEPS (default ~/.cache/orvalinex-deps).
. "$(dirname "${BASH_SOURCE[0]}")/help.sh" && orv_help_if_asked "${BASH_SOURCE[0]}" "$@"
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cache=${ORVALINEX_DEPS:-$HOME/.cache/orvalinex-deps}
jobs=$(nproc)
log() { printf 'bootstrap: %s\n' "$*" >&2; }
# Runs a command with its output in a log file; on failure shows the end of that log.
quiet() {
  local l; l=$(mktemp /tmp/orvalinex-bootstrap.XXXXXX.log)
  if ! "$@" >"$l" 2>&1; then tail -n 40 "$l" >&2; log "failed: $*"; exit 1; fi
  rm -f "$l"
}

# Bump when a recipe below changes, so that the cache is rebuilt.
recipe_version=4

packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64 mingw-w64-tools
  wine wine64 xvfb xauth xdotool
  cmake ninja-build make perl dpkg-dev file bc ccache
  g++ googletest libgtest-dev libssl-dev libtinyxml2-dev libjsoncpp-dev liblua5.4-dev openssl
  libp11-kit-dev libwine-dev
  python3 curl nsis osslsigncode faketime
  libcurl4-openssl-dev python3-pytest python3-cryptography python3-requests python3-urllib3
  chromium fonts-wqy-microhei
)
# Node.js with npm: Debian's, unless the machine already has a node with npm of its own.
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)

# The shipped programs are 32-bit: Wine runs them through its i386 half (wine32:i386), which
# needs a kernel that runs 32-bit Linux programs. Some virtual machines refuse them (execve gives
# ENOEXEC), and there an installed wine32 would make `wine` itself fail, so it is installed only
# where a minimal i386 program runs.
runs_i386_programs() {
  local probe; probe=$(mktemp /tmp/orvalinex-i386-probe.XXXXXX)
  python3 - "$probe" <<'PY'
import struct, sys
code = bytes([0xB8, 1, 0, 0, 0, 0x31, 0xDB, 0xCD, 0x80])  # exit(0) through int 0x80
base, size = 0x08048000, 52 + 32 + 9
ident = b"\x7fELF" + bytes([1, 1, 1]) + bytes(9)
ehdr = ident + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, base + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
phdr = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
open(sys.argv[1], "wb").write(ehdr + phdr + code)
PY
  chmod +x "$probe"
  local ok=1; "$probe" 2>/dev/null || ok=0
  rm -f "$probe"
  [ "$ok" -eq 1 ]
}
with_wine32=0
if runs_i386_programs; then
  with_wine32=1
else
  log "this machine does not run 32-bit Linux programs: Wine runs only the 64-bit build here"
fi

need_sudo() { if [ "$(id -u)" -ne 0 ]; then echo sudo; fi; }

. "$here/apt-packages.sh"
install_packages() {
  local src=/etc/apt/sources.list.d/orvalinex-src.sources
  local s; s=$(need_sudo)
  local optional=()
  if [ "$with_wine32" -eq 1 ]; then
    optional=(wine32:i386)
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      log "enabling the i386 architecture"
      $s dpkg --add-architecture i386
    fi
  fi
  if [ ! -f "$src" ]; then
    log "adding deb-src entries"
    $s tee "$src" >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    export ORV_APT_UPDATE=1
  fi
  ORV_APT_LOG=log orv_apt_install "${packages[@]}" -- "${optional[@]}" || exit 1
  if [ "${#orv_apt_missing[@]}" -gt 0 ]; then
    log "Wine's 32-bit half (${orv_apt_missing[*]}) cannot be installed now ($orv_apt_answer):" \
        "the life and the tests run the 64-bit build, as on machines without 32-bit support"
  fi
}

# Unpacks Debian's source package $1 into $cache/src and prints the source folder. When the
# newest version is listed but not served (a mirror that lags behind), older ones are tried.
fetch_source() {
  local pkg=$1
  local dir=$cache/src/$pkg
  if [ -f "$dir/.done" ]; then cat "$dir/.done"; return; fi
  rm -rf "$dir"; mkdir -p "$dir"
  local v ok=""
  for v in $(apt-cache showsrc "$pkg" | awk '/^Version:/ {print $2}' | sort -rV | uniq); do
    if (cd "$dir" && apt-get source -q "$pkg=$v" >/dev/null 2>&1); then ok=$v; break; fi
    rm -rf "${dir:?}"/*
  done
  [ -n "$ok" ] || { log "cannot fetch the source of $pkg"; exit 1; }
  local top; top=$(find "$dir" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  echo "$top" > "$dir/.done"
  log "source $pkg $ok"
  echo "$top"
}

toolchain_file() { echo "$here/../cmake/toolchain-$1.cmake"; }

build_openssl() {
  local triple=$1 prefix=$2
  local src; src=$(fetch_source openssl)
  local target; case $triple in i686-*) target=mingw ;; *) target=mingw64 ;; esac
  local b; b=$(mktemp -d); cp -a "$src/." "$b"
  log "openssl for $triple"
  # Debian's pic patch makes the 32-bit x86 assembly ELF-only (GOT relocations); COFF for
  # 32-bit Windows cannot express them, so that one patch is taken back out for this build.
  if [ "$target" = mingw ] && [ -f "$b/debian/patches/pic.patch" ]; then
    quiet patch -d "$b" -R -p1 -i debian/patches/pic.patch
  fi
  # libcrypto only, static, assembly on (SHA-1 is the hot path of the integrity check).
  (cd "$b" && quiet env CC=gcc-posix ./Configure "$target" --cross-compile-prefix="$triple-" \
      no-shared no-tests no-engine no-module no-legacy --prefix="$prefix" \
    && quiet make -j"$jobs" build_generated && quiet make -j"$jobs" libcrypto.a)
  mkdir -p "$prefix/lib" "$prefix/include"
  cp "$b/libcrypto.a" "$prefix/lib/"
  cp -r "$b/include/openssl" "$prefix/include/"
  rm -rf "$b"
}

build_cmake_dep() {
  local pkg=$1 triple=$2 prefix=$3; shift 3
  local src; src=$(fetch_source "$pkg")
  local b; b=$(mktemp -d)
  log "$pkg for $triple"
  quiet cmake -S "$src" -B "$b" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$(toolchain_file "$triple")" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@"
  quiet cmake --build "$b" -j"$jobs"
  quiet cmake --install "$b"
  rm -rf "$b"
}

build_lua() {
  local triple=$1 prefix=$2
  local src; src=$(fetch_source lua5.4)
  local b; b=$(mktemp -d)
  log "lua for $triple"
  local f objs=()
  for f in "$src"/src/*.c; do
    case $(basename "$f") in lua.c|luac.c) continue ;; esac
    quiet "$triple-gcc-posix" -O2 -std=gnu99 -DLUA_COMPAT_5_3 -c "$f" -o "$b/$(basename "$f" .c).o" &
    objs+=("$b/$(basename "$f" .c).o")
    [ "$(jobs -r | wc -l)" -ge "$jobs" ] && wait -n
  done
  wait
  mkdir -p "$prefix/lib" "$prefix/include"
  "$triple-ar" rcs "$prefix/lib/liblua.a" "${objs[@]}"
  cp "$src"/src/{lua.h,luaconf.h,lualib.h,lauxlib.h,lua.hpp} "$prefix/include/"
  rm -rf "$b"
}

build_triple() {
  local triple=$1
  local prefix=$cache/$1
  local stamp=$prefix/.stamp want="recipe $recipe_version"
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then return; fi
  rm -rf "$prefix"; mkdir -p "$prefix"
  build_openssl "$triple" "$prefix"
  build_cmake_dep tinyxml2 "$triple" "$prefix" -Dtinyxml2_BUILD_TESTING=OFF
  build_cmake_dep libjsoncpp "$triple" "$prefix" -DJSONCPP_WITH_TESTS=OFF \
    -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF \
    -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF
  build_lua "$triple" "$prefix"
  build_cmake_dep googletest "$triple" "$prefix" -Dgtest_disable_pthreads=ON -DBUILD_GMOCK=ON
  echo "$want" > "$stamp"
}

# The npm packages of package-lock.json (jQuery for the updater's page, playwright-core for the
# page tests) in node_modules at the repository root; skipped while the lock file is unchanged.
install_node_modules() {
  local root; root=$(cd "$here/.." && pwd)
  local stamp=$root/node_modules/.orvalinex-lock
  local want; want=$(sha256sum "$root/package-lock.json" | cut -d' ' -f1)
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then return; fi
  log "npm ci"
  (cd "$root" && quiet npm ci --ignore-scripts --no-audit --no-fund)
  echo "$want" > "$stamp"
}

install_packages
install_node_modules
mkdir -p "$cache"
build_triple x86_64-w64-mingw32
build_triple i686-w64-mingw32
echo "$cache"
