# Shared by the scripts next to it: where the Windows Qt, the MinGW runtime and
# Wine's server are.
#
# KVX_WINDOWS_QT names either an unpacked Qt for Windows (a folder with
# lib/cmake/Qt5) or an archive of one (qt5-win64-*.tar.xz), or a folder that
# holds such an archive; the default is ../shared/windows-qt next to the
# checkout. An archive is unpacked once into a cache folder outside the tree
# (KVX_CACHE_DIR, default ~/.cache/kvx-updater) and reused while it is unchanged.

kvx_windows_qt_source() {
    local root
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
    echo "${KVX_WINDOWS_QT:-$root/../shared/windows-qt}"
}

# Whether a Windows Qt is there at all, without unpacking anything.
kvx_windows_qt_present() {
    local source
    source=$(kvx_windows_qt_source)
    [ -d "$source/lib/cmake/Qt5" ] || [ -f "$source" ] ||
        { [ -d "$source" ] && [ -n "$(find "$source" -maxdepth 1 -name 'qt5-win64-*.tar.xz')" ]; }
}

# Prints the unpacked Qt's folder; returns 1 (printing nothing) without one.
kvx_windows_qt() {
    local source archive
    source=$(kvx_windows_qt_source)
    if [ -d "$source/lib/cmake/Qt5" ]; then
        (cd "$source" && pwd)
        return 0
    fi
    if [ -f "$source" ]; then
        archive=$source
    elif [ -d "$source" ]; then
        archive=$(find "$source" -maxdepth 1 -name 'qt5-win64-*.tar.xz' | sort | tail -n 1)
    fi
    [ -n "${archive:-}" ] && [ -r "$archive" ] || return 1

    # The folder is named after the archive's name, size and time, so a new
    # archive is unpacked afresh and an unchanged one never twice.
    local cache stamp target work
    cache=${KVX_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/kvx-updater}
    stamp=$(stat -c '%s-%Y' "$archive")
    target=$cache/$(basename "$archive" .tar.xz)-$stamp
    if [ ! -d "$target/qt5-win64/lib/cmake/Qt5" ]; then
        mkdir -p "$cache"
        work=$(mktemp -d "$cache/unpack.XXXXXX")
        if ! tar -xJf "$archive" -C "$work" || [ ! -d "$work/qt5-win64/lib/cmake/Qt5" ]; then
            rm -rf "$work"
            echo "could not unpack $archive" >&2
            return 1
        fi
        # Two builds at once: the first to finish wins, the other's copy goes.
        mv -T "$work" "$target" 2>/dev/null || rm -rf "$work"
    fi
    echo "$target/qt5-win64"
}

# The MinGW runtime DLLs every program of the build needs (C++ library, GCC's
# unwinder, POSIX threads), as this machine's cross-compiler ships them.
kvx_mingw_runtime_dlls() {
    local dll path
    for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
        path=$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)
        [ -f "$path" ] || { echo "$dll not found" >&2; return 1; }
        echo "$path"
    done
}

# WINEPATH for programs run from the build folder: the Qt DLLs and the MinGW
# runtime, where they are (a package carries its own and needs none).
kvx_wine_path() {
    local qt=$1 dll dirs
    dirs="Z:$qt/bin"
    while read -r dll; do
        dirs="$dirs;Z:$(dirname "$dll")"
    done < <(kvx_mingw_runtime_dlls)
    echo "$dirs"
}

# Wine creates its sockets in the wineserver, and the network interfaces are
# read by a Wine service process: both belong to the network namespace the
# prefix's first program started in. Every run in a namespace therefore
# begins and ends with no server for its prefix, so that no program of it can
# ever reach a namespace it was not started in.
kvx_wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
}
