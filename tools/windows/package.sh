#!/usr/bin/env bash
# Makes the portable Windows package, kvx-updater-<version>-win64.zip: both
# programs with everything they need beside them, laid out as windeployqt
# (which runs only on Windows) lays it out:
#
#   kvx-updater-<version>-win64/
#       kvx-updater.exe, kvx-update.exe
#       Qt5*.dll                      the Qt libraries the programs and plug-ins link
#       libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll   the MinGW runtime
#       platforms/qwindows.dll, imageformats/qsvg.dll
#       QtQuick.2/, QtQuick/..., QtQml/...   the QML modules the window imports,
#                                     as qmlimportscanner finds them in qml/
#       qt.conf                       Qt looks for all of it here, nowhere else
#       README.txt
#
#   tools/windows/package.sh [OUTPUT_DIR]     (default: the Windows build folder)
#
# Builds first (tools/windows/build.sh; KVX_FIRMWARE_IMAGE embeds the vendor
# image) and prints the zip's path last.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/windows/env.sh

build=${KVX_WINDOWS_BUILD_DIR:-build-win64}
tools/windows/build.sh kvx-updater kvx-update >&2
qt=$(kvx_windows_qt)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=kvx-updater-$version-win64
out=$(mkdir -p "${1:-$build}" && cd "${1:-$build}" && pwd)
stage=$build/package
rm -rf "$stage"
mkdir -p "$stage/$name/platforms" "$stage/$name/imageformats"
dir=$stage/$name

for program in app/kvx-updater.exe cli/kvx-update.exe; do
    x86_64-w64-mingw32-strip -o "$dir/$(basename "$program")" "$build/$program"
done
cp "$qt/plugins/platforms/qwindows.dll" "$dir/platforms/"
cp "$qt/plugins/imageformats/qsvg.dll" "$dir/imageformats/"

# Every QML module the window's files import, and the modules those import.
"$qt/bin/qmlimportscanner" -rootPath qml -importPath "$qt/qml" |
    sed -n 's/^ *"relativePath": "\(.*\)",\{0,1\}$/\1/p' | sort -u |
    while read -r module; do
        mkdir -p "$dir/$(dirname "$module")"
        cp -r "$qt/qml/$module" "$dir/$(dirname "$module")/"
    done
[ -f "$dir/QtQuick.2/qmldir" ] || { echo "qmlimportscanner found no QtQuick module" >&2; exit 1; }

# The DLLs everything above links, and what those link in turn; the system's
# own DLLs stay out.
declare -A runtime
while read -r dll; do
    runtime[$(basename "${dll,,}")]=$dll
done < <(kvx_mingw_runtime_dlls)
added=1
while ((added)); do
    added=0
    while read -r wanted; do
        lower=${wanted,,}
        [ -e "$dir/$wanted" ] && continue
        if [ -n "${runtime[$lower]:-}" ]; then
            cp "${runtime[$lower]}" "$dir/$wanted"
            added=1
        elif [ -f "$qt/bin/$wanted" ]; then
            cp "$qt/bin/$wanted" "$dir/$wanted"
            added=1
        fi
    done < <(find "$dir" -iname '*.exe' -o -iname '*.dll' | while read -r f; do
        x86_64-w64-mingw32-objdump -p "$f" | sed -n 's/^\s*DLL Name: //p'
    done | sort -u)
done

# The prefix the Qt libraries would otherwise take from their own place (the
# folder above this one) is this folder, so nothing from outside is loaded.
cat >"$dir/qt.conf" <<'CONF'
[Paths]
Prefix = .
Plugins = .
Qml2Imports = .
CONF
sed "s/@VERSION@/$version/" tools/windows/package-readme.txt | sed 's/$/\r/' >"$dir/README.txt"

rm -f "$out/$name.zip"
(cd "$stage" && zip -q -r -X "$out/$name.zip" "$name")
echo "$out/$name.zip"
