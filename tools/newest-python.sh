#!/usr/bin/env bash
# Builds the newest CPython of a series whose Debian source package downloads
# (the upstream source the package carries, without Debian's own patches) and
# prints its interpreter's path; prints nothing (and one line on stderr why)
# when no source package can be downloaded. The build lives in a cache outside
# the checkout and is reused. The archive is the one the machine's own apt
# configuration names; apt runs on a private state and source list so the
# system's configuration is left as it is.
set -euo pipefail
series="${1:-3.13}"
cache="${QUORIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorin}/cpython"
mkdir -p "$cache"

# Which build deps a CPython with ssl, zlib, sqlite3, ctypes, bz2, lzma and
# readline needs; installed with the system's apt when a header is missing.
build_deps=(build-essential dpkg-dev xz-utils libssl-dev zlib1g-dev libsqlite3-dev
  libffi-dev libbz2-dev liblzma-dev libreadline-dev libncurses-dev uuid-dev)

# The first archive (URI and key) that serves the machine's own release, from
# the one-line and the deb822 source lists.
archive() {
  local codename
  codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
  shopt -s nullglob
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v want="$codename" '
      $1 == "deb" { i = 2; key = ""
        if ($i ~ /^\[/) { while ($i !~ /\]$/) { if ($i ~ /signed-by=/) key = $i; i++ }
                          if ($i ~ /signed-by=/) key = $i; i++ }
        sub(/.*signed-by=/, "", key); sub(/\]$/, "", key)
        if ($(i + 1) == want) { print $i, key; exit } }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    awk -v want="$codename" -v RS= '
      { types = uris = suites = key = ""
        n = split($0, lines, "\n")
        for (j = 1; j <= n; j++) {
          line = lines[j]; if (line ~ /^#/) continue
          split(line, kv, ":[ \t]*"); field = tolower(kv[1]); value = substr(line, length(kv[1]) + 2)
          gsub(/^[ \t]+/, "", value)
          if (field == "types") types = value; else if (field == "uris") uris = value
          else if (field == "suites") suites = value; else if (field == "signed-by") key = value }
        if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " want " ")) { split(uris, u, " "); print u[1], key; exit } }' "$f"
  done
}

# The newest version in the unstable suite whose files download, highest first.
fetch_source() {
  local uri="$1" key="$2" apt="$cache/apt"
  mkdir -p "$apt/state/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$apt/src"
  local opts="${key:+[signed-by=$key] }"
  echo "deb-src $opts$uri unstable main" >"$apt/sources.list"
  local o=(-o "Dir::State=$apt/state" -o "Dir::Cache=$apt/cache" -o "Dir::Etc::SourceList=$apt/sources.list"
    -o "Dir::Etc::SourceParts=$apt/parts" -o "APT::Sandbox::User=root" -q)
  apt-get "${o[@]}" update >/dev/null 2>&1 || return 1
  local v
  for v in $(apt-cache "${o[@]}" showsrc "python$series" 2>/dev/null | sed -n 's/^Version: //p' | sort -rV | uniq); do
    rm -rf "$apt/src/$v" && mkdir -p "$apt/src/$v"
    if (cd "$apt/src/$v" && apt-get "${o[@]}" source --download-only "python$series=$v" >/dev/null 2>&1); then
      echo "$apt/src/$v"
      return 0
    fi
    rm -rf "$apt/src/$v"
  done
  return 1
}

have_headers() {
  local h
  for h in openssl/ssl.h zlib.h sqlite3.h ffi.h bzlib.h lzma.h readline/readline.h uuid/uuid.h; do
    echo "#include <$h>" | cc -E -x c - >/dev/null 2>&1 || return 1
  done
}

# A cached build is used as it is: the archive is asked again only when none is there.
for done_mark in "$cache"/python-"$series".*/.complete; do
  [ -f "$done_mark" ] && { echo "${done_mark%/.complete}/bin/python$series"; exit 0; }
done

read -r uri key < <(archive) || true
if [ -z "${uri:-}" ]; then
  echo "test-newest: no Debian archive in the apt configuration; skipped" >&2
  exit 0
fi
if ! src="$(fetch_source "$uri" "$key")"; then
  echo "test-newest: no python$series source package downloads from $uri; skipped" >&2
  exit 0
fi
tarball="$(ls "$src"/*.orig.tar.xz)"
version="$(basename "$tarball" .orig.tar.xz)"
version="${version#*_}"
dest="$cache/python-$version"

if ! have_headers || ! command -v cc >/dev/null; then
  echo "test-newest: installing the build dependencies" >&2
  # A fresh machine may have no package lists yet.
  apt-get update -q >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${build_deps[@]}" >&2
fi
work="$cache/build-$version"
rm -rf "$work" && mkdir -p "$work"
tar -xJf "$tarball" -C "$work" --strip-components=1
echo "test-newest: building CPython $version into $dest" >&2
rm -rf "$dest"
(
  cd "$work"
  nice ./configure -q --prefix="$dest" --with-ensurepip=install >&2
  nice make -s -j"$(nproc)" >&2
  nice make -s install >&2
)
# Marked only when complete, so an interrupted build is not reused.
touch "$dest/.complete" && rm -rf "$work"
echo "$dest/bin/python$series"
