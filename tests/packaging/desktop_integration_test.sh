#!/usr/bin/env bash
# The desktop integration as a user's system sees it: installs into a staging folder, checks the
# desktop entry, registers the MIME package in a private data folder and asks GIO (the file
# managers' type detection) what a PQZ file is, with and without its extension, then runs the
# thumbnailer entry's command line the way a file manager does.
# Usage: desktop_integration_test.sh BUILD_DIR PHOTO
set -euo pipefail
build=$1
photo=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-desktop-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# 1. Install.
stage="$work/stage"
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
share="$stage/usr/share"
for f in bin/pqz share/applications/orvane.desktop share/mime/packages/orvane.xml \
  share/thumbnailers/orvane-pqz.thumbnailer share/icons/hicolor/scalable/apps/orvane.svg \
  share/icons/hicolor/scalable/mimetypes/image-x-pqz.svg; do
  [[ -f "$stage/usr/$f" ]] || fail "not installed: /usr/$f"
done
desktop-file-validate "$share/applications/orvane.desktop" || fail "desktop entry"
grep -qx 'Exec=orvane %F' "$share/applications/orvane.desktop" || fail "desktop entry Exec"
grep -q '^MimeType=.*image/x-pqz;' "$share/applications/orvane.desktop" || fail "desktop MimeType"
grep -q '^Categories=Graphics;Viewer;' "$share/applications/orvane.desktop" || fail "Categories"

# 2. A real PQZ file, made by the installed tool from a small copy of a photo.
pqz="$stage/usr/bin/pqz"
"$pqz" thumbnail -s 64 "$photo" "$work/small.png" || fail "small copy of the photo"
(cd "$work" && "$pqz" encode small.png photo.pqz >/dev/null) || fail "encoding"
cp "$work/photo.pqz" "$work/photo-without-extension"
printf 'PQ is how this text begins, and nothing more.\n' >"$work/text-starting-with-PQ"
printf 'not a picture' >"$work/named.pqz"

# 3. The MIME package in a private data folder, as the package's trigger registers it.
data="$work/data"
mkdir -p "$data/mime/packages"
cp "$share/mime/packages/orvane.xml" "$data/mime/packages/"
XDG_DATA_HOME="$data" update-mime-database "$data/mime" || fail "update-mime-database"
content_type() {
  XDG_DATA_HOME="$data" XDG_DATA_DIRS=/usr/share gio info -a standard::content-type "$1" |
    sed -n 's/^ *standard::content-type: //p'
}
expect_type() {
  local got
  got=$(content_type "$work/$1")
  [[ "$got" == "$2" ]] || fail "$1 is '$got', expected '$2'"
}
expect_type photo.pqz image/x-pqz
expect_type photo-without-extension image/x-pqz
expect_type named.pqz image/x-pqz
got=$(content_type "$work/text-starting-with-PQ")
[[ "$got" != image/x-pqz ]] || fail "plain text taken for PQZ"

# 4. The thumbnailer's command line, with the file manager's substitutions: %s the size,
# %i the input path, %o the output path; the program found through TryExec on the PATH.
entry="$share/thumbnailers/orvane-pqz.thumbnailer"
grep -qx '\[Thumbnailer Entry\]' "$entry" || fail "thumbnailer group"
grep -qx 'MimeType=image/x-pqz;' "$entry" || fail "thumbnailer MimeType"
tryexec=$(sed -n 's/^TryExec=//p' "$entry")
exec_line=$(sed -n 's/^Exec=//p' "$entry")
export PATH="$stage/usr/bin:$PATH"
command -v "$tryexec" >/dev/null || fail "TryExec $tryexec not found"
thumbnail() {  # thumbnail SIZE IN OUT
  local line=${exec_line//%s/$1}
  line=${line//%i/\'$2\'}
  line=${line//%o/\'$3\'}
  (cd "$work" && eval "$line")
}
png_size() {
  python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); assert d[:8]==b"\x89PNG\r\n\x1a\n"; print("%dx%d" % struct.unpack(">II", d[16:24]))' "$1"
}
for size in 128 256; do
  out="$work/gnome-desktop-thumbnailer-$size.png"
  thumbnail "$size" "$work/photo-without-extension" "$out" || fail "thumbnailer at $size"
  # The 64 x 43 photo is not enlarged; its aspect is kept.
  [[ "$(png_size "$out")" == 64x43 ]] || fail "thumbnail at $size is $(png_size "$out")"
done
before=$(ls "$work" | wc -l)
if thumbnail 128 "$work/named.pqz" "$work/failed.png" 2>/dev/null; then
  fail "a broken file gave a thumbnail"
fi
[[ ! -e "$work/failed.png" && "$(ls "$work" | wc -l)" == "$before" ]] || fail "failure left files"
echo "desktop integration: ok"
