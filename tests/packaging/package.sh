#!/usr/bin/env bash
# package.sh BUILD SCRATCH APP_ID: cpack builds the Debian package from BUILD into SCRATCH, and
# dpkg-deb unpacks it into SCRATCH/root, where every file must sit where its format puts it.
set -euo pipefail
trap 'echo "failed at line $LINENO: $BASH_COMMAND"' ERR
build=$1 scratch=$2 id=$3
for tool in cpack dpkg-deb dpkg-shlibdeps scdoc desktop-file-validate appstreamcli man readelf; do
    command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
rm -rf "$scratch" && mkdir -p "$scratch"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" ||
    { cat "$scratch/cpack.log"; exit 1; }
deb=$(echo "$scratch"/glimmora_*.deb)
root=$scratch/root
dpkg-deb -x "$deb" "$root"
cd "$root"

# The programs, the menu's entry with its icons, metainfo, man pages and documents, and nothing
# else: no autostart entry for every user.
diff -u - <(find . -type f -o -type l | LC_ALL=C sort) <<END
./usr/bin/glimmora
./usr/bin/glimmora-render
./usr/share/applications/$id.desktop
./usr/share/doc/glimmora/changelog.gz
./usr/share/doc/glimmora/copyright
./usr/share/icons/hicolor/scalable/apps/$id.svg
./usr/share/icons/hicolor/symbolic/apps/$id-symbolic.svg
./usr/share/man/man1/glimmora-render.1.gz
./usr/share/man/man1/glimmora.1.gz
./usr/share/metainfo/$id.metainfo.xml
END

entry=usr/share/applications/$id.desktop
desktop-file-validate "$entry"
appstreamcli validate --no-net --strict usr/share/metainfo/$id.metainfo.xml
# The application menu finds the entry's program on the PATH and its icon in the theme.
[ -x "usr/bin/$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")" ]
[ -f "usr/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$entry").svg" ]

for page in usr/share/man/man1/*; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$page: $warnings"; exit 1; }
done

# One version everywhere: the package's, the changelog's and the metainfo's newest release.
version=$(dpkg-deb -f "$deb" Version)
[[ $(zcat usr/share/doc/glimmora/changelog.gz) == "glimmora ($version) "* ]]
[[ $(grep -o '<release [^>]*' usr/share/metainfo/$id.metainfo.xml) == *"\"$version\""* ]]
# dpkg-shlibdeps's dependencies, and those it cannot see.
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *"libqt6core6 (>="* && $depends == *qt6-qpa-plugins* ]]

# Hardened: read-only relocations bound at load, a stack protector and fortified calls.
for program in usr/bin/*; do
    [[ $(readelf -lW "$program") == *GNU_RELRO* ]]
    [[ $(readelf -dW "$program") =~ BIND_NOW|FLAGS_1.*\ NOW ]]
    symbols=$(readelf --dyn-syms -W "$program")
    [[ $symbols == *__stack_chk_fail* && $symbols =~ __[a-z_]+_chk@ ]]
done
echo "$deb: every file in its place"
