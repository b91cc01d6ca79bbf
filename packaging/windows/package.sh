#!/bin/bash
# Builds kelvaro-VERSION-windows-x86_64.zip: the program for 64-bit Windows as a folder that
# runs wherever it is unpacked. Then runs the Windows test suite and a smoke test of the
# unpacked folder under Wine.
#
#   package.sh [OUTPUT-DIR]      default: the current folder
#
# Runs as root on Debian 12. The dependencies come from build-deps.sh and its cache; the build
# folder is build-windows/ beside the checkout's other builds. KELVARO_WINDOWS_TESTS=0 leaves
# out the test suite (the smoke test always runs).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/../.." && pwd)
out=$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)
CACHE=${KELVARO_WINDOWS_CACHE:-/var/cache/kelvaro-windows}
PREFIX=$CACHE/prefix
BUILD=${KELVARO_WINDOWS_BUILD:-$top/build-windows}
GCC_DLLS=/usr/lib/gcc/x86_64-w64-mingw32/12-posix
MINGW_DLLS=/usr/x86_64-w64-mingw32/lib
OBJDUMP=x86_64-w64-mingw32-objdump
# Wine runs the tests and the smoke test; the Chinese Qt texts come from the host's package.
PACKAGES=(wine wine64 xvfb xauth qt6-translations-l10n fonts-noto-cjk)

source "$here/script.sh"

configure_and_build() {
    mkdir -p "$BUILD"
    cmake -S "$top" -B "$BUILD" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$here/toolchain.cmake" -DKELVARO_WINDOWS_PREFIX="$PREFIX" \
        -DCMAKE_BUILD_TYPE=Release -DKELVARO_BUILD_BENCH=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
        >"$BUILD/configure.log" || { cat "$BUILD/configure.log"; return 1; }
    cmake --build "$BUILD" --parallel "${KELVARO_WINDOWS_JOBS:-2}"
}

run_tests() {
    # The window's tests use the offscreen platform; Xvfb is there for Wine's own windows.
    xvfb-run -a ctest --test-dir "$BUILD" --output-on-failure --timeout 600
}

# The DLLs a file imports, by name as written in its import table.
imports() {
    "$OBJDUMP" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'
}

# Where a DLL of ours comes from: the dependency prefix or the MinGW runtime. Windows' own
# DLLs are found in none of these, and stay out.
find_dll() {
    local dir
    for dir in "$BUILD/bin" "$PREFIX/bin" "$GCC_DLLS" "$MINGW_DLLS"; do
        [[ -f $dir/$1 ]] && { echo "$dir/$1"; return 0; }
    done
    return 1
}

# Copies into $1 the DLLs that the executables and plugins there need, and those they need in
# turn, and nothing else.
add_needed_dlls() {
    local folder=$1 queue=() seen=" " file dll source
    mapfile -t queue < <(find "$folder" -name '*.exe' -o -name '*.dll')
    while ((${#queue[@]})); do
        file=${queue[0]} queue=("${queue[@]:1}")
        for dll in $(imports "$file"); do
            [[ $seen == *" ${dll,,} "* ]] && continue
            seen+="${dll,,} "
            source=$(find_dll "$dll") || continue
            [[ -f $folder/$dll ]] || install -m 644 "$source" "$folder/$dll"
            queue+=("$folder/$dll")
        done
    done
}

assemble() {
    local folder=$1
    rm -rf "$folder"
    cmake --install "$BUILD" --prefix "$folder" >/dev/null
    install -D -m 644 "$PREFIX/plugins/platforms/qwindows.dll" "$folder/platforms/qwindows.dll"
    install -D -m 644 "$PREFIX/plugins/styles/qwindowsvistastyle.dll" \
        "$folder/styles/qwindowsvistastyle.dll"
    install -D -m 644 /usr/share/qt6/translations/qtbase_zh_CN.qm \
        "$folder/translations/qtbase_zh_CN.qm"
    # Notepad reads UTF-8 with a byte order mark and CR LF line ends.
    printf '\xEF\xBB\xBF' >"$folder/使用说明.txt"
    sed 's/$/\r/' "$here/使用说明.txt" >>"$folder/使用说明.txt"
    # Qt's Chinese texts in translations/, beside the program, wherever it is unpacked.
    printf '[Paths]\r\nPrefix = .\r\n' >"$folder/qt.conf"
    add_needed_dlls "$folder"
    # Debian's MinGW runtime keeps its symbols; a user needs none of them.
    find "$folder" \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
    [[ $'\n'$(imports "$folder/kelvaro.exe")$'\n' == *$'\n'jyskin.dll$'\n'* ]] ||
        { echo "kelvaro.exe does not load jyskin.dll" >&2; return 1; }
}

# The unpacked folder, moved to a path with Chinese characters and blanks, started from
# another folder: the window opens its demo bank (on the windows platform, under Xvfb), and
# the bank tool makes a bank from each shipped template.
smoke_test() {
    local folder=$1 wine_run=$BUILD/wine-run scratch place status
    scratch=$(mktemp -d)
    place="$scratch/练习 题库/Kelvaro 程序"
    mkdir -p "$place" "$scratch/elsewhere"
    cp -a "$folder/." "$place/"
    (
        cd "$scratch/elsewhere"
        KELVARO_WINE_PLATFORM=windows xvfb-run -a "$wine_run" "$place/kelvaro.exe" --check-start
    ) || { status=$?; echo "kelvaro.exe --check-start failed with status $status" >&2; return 1; }
    for template in template.csv template.txt; do
        (cd "$scratch/elsewhere" && "$wine_run" "$place/kelvaro-bank.exe" create \
            "$scratch/elsewhere/${template/./-}.db" --from "$place/$template") ||
            { echo "kelvaro-bank.exe create --from $template failed" >&2; return 1; }
    done
    rm -rf "$scratch"
}

main() {
    local t0 version name
    t0=$(ms)
    ((EUID == 0)) || { echo "package.sh installs packages: run it as root" >&2; exit 1; }
    step "install packages" install_packages
    step "dependencies" bash "$here/build-deps.sh"
    step "build" configure_and_build
    [[ ${KELVARO_WINDOWS_TESTS:-1} == 0 ]] || step "tests under Wine" run_tests
    version=$(sed -n 's/^project(Kelvaro VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
    name=kelvaro-$version-windows-x86_64
    step "assemble $name" assemble "$BUILD/package/$name"
    step "smoke test under Wine" smoke_test "$BUILD/package/$name"
    rm -f "$out/$name.zip"
    (cd "$BUILD/package" && cmake -E tar cf "$out/$name.zip" --format=zip "$name")
    log "$out/$name.zip ($(du -h "$out/$name.zip" | cut -f1)) made in $(since "$t0")"
}

main "$@"; exit
