#!/usr/bin/env bash
# Installs the build into a staging prefix and checks what a desktop and a user see there: the
# files, their validation, the installed program's start with its files in the XDG folders, an
# old options.ini read once, and the .deb with its dependencies, unpacked and started through
# its menu entry's command line.
set -euo pipefail
build=$1
id=example.platterly.Platterly
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/platterly libexec/platterly/WM8EUTIL share/applications/$id.desktop \
         share/metainfo/$id.metainfo.xml share/icons/hicolor/scalable/apps/$id.svg \
         share/icons/hicolor/48x48/apps/$id.png share/icons/hicolor/128x128/apps/$id.png \
         share/icons/hicolor/256x256/apps/$id.png share/man/man1/platterly.1 \
         share/doc/platterly/Tracksmith.html "share/platterly/discs/Platterly Demo.cue"; do
    [ -e "$prefix/$f" ] || fail "$f was not installed"
done
if [ -e "$build/bin/platterly-cli" ]; then
    [ -x "$prefix/bin/platterly-cli" ] || fail "platterly-cli was not installed"
    [ -e "$prefix/share/man/man1/platterly-cli.1" ] || fail "platterly-cli.1 was not installed"
fi
desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null ||
    fail "appstreamcli validate"
for page in "$prefix"/share/man/man1/*.1; do
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "$page: $warnings"
done
file "$prefix/share/icons/hicolor/128x128/apps/$id.png" | grep -q '128 x 128' || fail "icon size"

# The installed program: settings and names in the XDG folders, the demo disc in the data
# folder, an options.ini an older version kept in the data folder read once.
home=$tmp/home
mkdir -p "$home/.local/share/Platterly"
printf '[CommonOptions]\r\nOutputFolder=%s/old-output\r\n' "$home" \
    >"$home/.local/share/Platterly/options.ini"
run_installed() {
    env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen \
        PLATTERLY_STARTUP_TIMING=quit "$@" 2>&1
}
out=$(run_installed "$prefix/bin/platterly")
echo "$out" | grep -q 'rows: 6' || fail "the installed program did not list the demo disc: $out"
[ -f "$home/.local/share/Platterly/discs/Platterly Demo.bin" ] || fail "no demo disc in the data folder"
grep -q old-output "$home/.config/Platterly/options.ini" || fail "the old options.ini was not read"
[ ! -e "$prefix/bin/options.ini" ] || fail "options.ini written beside the installed program"

# The installed command line: a fresh user's first command finds the demo disc in the data folder.
if [ -x "$prefix/bin/platterly-cli" ]; then
    cli_home=$tmp/cli-home
    mkdir -p "$cli_home"
    out=$(env -i PATH=/usr/bin:/bin HOME="$cli_home" "$prefix/bin/platterly-cli" drives 2>&1)
    echo "$out" | grep -q 'Image Platterly Demo .*(6 audio tracks)' ||
        fail "the installed platterly-cli did not list the demo disc: $out"
    [ ! -e "$prefix/bin/options.ini" ] || fail "options.ini written beside the installed program"
fi

# The package: dependencies computed, lame among them; unpacked, its menu entry's command starts.
if command -v cpack >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
    (cd "$build" && cpack -G DEB -B "$tmp/deb" >/dev/null) || fail "cpack"
    deb=$(ls "$tmp"/deb/*.deb)
    depends=$(dpkg-deb -f "$deb" Depends)
    for d in lame libqt6widgets6 libcdio; do
        echo "$depends" | grep -q "$d" || fail "Depends lacks $d: $depends"
    done
    dpkg-deb -x "$deb" "$tmp/root"
    exec_line=$(sed -n 's/^Exec=//p' "$tmp/root/usr/share/applications/$id.desktop")
    command=${exec_line%% *}
    [ "$command" = platterly ] || fail "Exec is $exec_line"
    rm -rf "$home/.local/share/Platterly/discs"
    out=$(run_installed "$tmp/root/usr/bin/$command")
    echo "$out" | grep -q 'rows: 6' || fail "the packaged program did not start: $out"
fi
echo "install checks passed"
