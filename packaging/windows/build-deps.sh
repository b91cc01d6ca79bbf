#!/bin/bash
# Builds Kelvaro's Windows dependencies from Debian source packages with Debian's MinGW-w64,
# into a prefix that toolchain.cmake takes as KELVARO_WINDOWS_PREFIX.
#
#   build-deps.sh [DEP...]      default: the dependencies Kelvaro needs, in order
#
# Runs as root on Debian 12. Everything lands under ${KELVARO_WINDOWS_CACHE:-/var/cache/kelvaro-windows}:
#   sources/NAME_VERSION/   the downloaded Debian source packages
#   store/DEP-KEY/          one finished dependency, as installed under the prefix
#   store/DEP-KEY.stamp     written last: without it the folder beside it does not count
#   work/DEP-KEY/           a build in progress; a leftover is thrown away
#   prefix/                 hard links to the current store folders: the prefix to build against
# KEY is a hash over toolchain.cmake, common.sh, the dependency's recipe in deps/, the
# Debian source version, the compiler and the keys of the dependencies it builds on. A
# changed recipe thus rebuilds that dependency and those built on it, and nothing else.
# The builds have the prefix's path compiled in: a cache cannot be moved, only made anew.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
CACHE=${KELVARO_WINDOWS_CACHE:-/var/cache/kelvaro-windows}
PREFIX=$CACHE/prefix
TOOLCHAIN=$here/toolchain.cmake
COMMON=$here/common.sh
JOBS=${KELVARO_WINDOWS_JOBS:-2}
DEFAULT_DEPS=(qtbase sqlite libjpeg-turbo minizip libxlsxwriter expat icu freexl)

PACKAGES=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev
    cmake ninja-build pkgconf dpkg-dev xz-utils perl
    # SQLite's build compiles and runs host tools of its own (lemon, mkkeywordhash).
    build-essential
    # The Windows Qt runs the host's moc, rcc and uic, so the host Qt must be installed.
    qt6-base-dev qt6-base-dev-tools
    # SQLite's amalgamation is made by Tcl scripts.
    tcl
)
# Their versions go into every key: a new compiler or MinGW runtime rebuilds everything.
COMPILER_PACKAGES=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)
SRC_LIST=/etc/apt/sources.list.d/kelvaro-debian-src.sources

source "$here/script.sh"

# Prints "URI|SUITES|COMPONENTS" for each Debian archive the machine installs from, read
# from both the deb822 (.sources) and the one-line (.list) formats.
debian_archives() {
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [[ -f $f && $f != "$SRC_LIST" ]] || continue
        awk -v RS= -F'\n' '{
            types = uris = suites = comps = ""; enabled = 1
            for (i = 1; i <= NF; i++) {
                if ($i ~ /^#/) continue
                split($i, kv, ":[ \t]*"); key = tolower(kv[1]); value = substr($i, length(kv[1]) + 2)
                sub(/^[ \t]+/, "", value)
                if (key == "types") types = value
                else if (key == "uris") uris = value
                else if (key == "suites") suites = value
                else if (key == "components") comps = value
                else if (key == "enabled" && value == "no") enabled = 0
            }
            if (enabled && (" " types " ") ~ / deb / && uris ~ /\/debian(-security)?\/?( |$)/)
                print uris "|" suites "|" comps
        }' "$f"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -f $f ]] || continue
        sed -E -e 's/#.*//' -e 's/\[[^]]*\]//' "$f" | awk '$1 == "deb" && $2 ~ /\/debian(-security)?\/?$/ {
            comps = $4; for (i = 5; i <= NF; i++) comps = comps " " $i
            print $2 "|" $3 "|" comps
        }'
    done
}

# Source packages come from the archives the binaries come from, checked with the same keyring.
setup_deb_src() {
    local wanted uri suites comps
    wanted=$(debian_archives | sort -u | while IFS='|' read -r uri suites comps; do
        printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\nSigned-By: %s\n\n' \
            "$uri" "$suites" "$comps" /usr/share/keyrings/debian-archive-keyring.gpg
    done)
    [[ -n $wanted ]] || { echo "no Debian archive found in /etc/apt" >&2; exit 1; }
    if [[ ! -f $SRC_LIST || $(cat "$SRC_LIST") != "$wanted" ]]; then
        printf '%s\n' "$wanted" >"$SRC_LIST"
        "${APT[@]}" update -qq
    elif ! compgen -G '/var/lib/apt/lists/*_Sources*' >/dev/null; then
        "${APT[@]}" update -qq
    fi
}

# The versions of a source package that the deb-src lists offer, newest first.
source_versions() {
    local versions=() v i j
    mapfile -t versions < <(apt-cache showsrc --only-source "$1" | awk '/^Version:/ {print $2}' | sort -u)
    # dpkg alone knows Debian's version order.
    for ((i = 0; i < ${#versions[@]}; i++)); do
        for ((j = i + 1; j < ${#versions[@]}; j++)); do
            if dpkg --compare-versions "${versions[j]}" gt "${versions[i]}"; then
                v=${versions[i]} versions[i]=${versions[j]} versions[j]=$v
            fi
        done
    done
    ((${#versions[@]} == 0)) || printf '%s\n' "${versions[@]}"
}

# Downloads a source package once; a download cut short never takes the final name. A
# failed download leaves apt's errors in NAME_VERSION.unavailable.
fetch_source() {
    local package=$1 version=$2 dir=$CACHE/sources/$1_${2#*:} t
    [[ -d $dir ]] && return 0
    t=$(ms)
    rm -rf "$dir.partial" "$dir.unavailable"
    mkdir -p "$dir.partial"
    chown _apt "$dir.partial" 2>/dev/null || true # lets apt download without root
    if ! (cd "$dir.partial" && "${APT[@]}" source -qq --download-only "$package=$version") >"$dir.unavailable" 2>&1; then
        rm -rf "$dir.partial"
        return 1
    fi
    rm -f "$dir.unavailable"
    mv "$dir.partial" "$dir"
    log "$package $version: downloaded in $(since "$t")"
}

# Prints the version of the source package to build, downloaded: the pinned one, or the
# newest of the upstream release that the archive serves. The lists may name a security
# update whose files the mirror does not have.
pick_source() {
    local package=$1 pinned=$2 upstream=$3 v missing
    if [[ -n $pinned ]]; then
        [[ ${pinned#*:} == "$upstream"[-+~.]* ]] ||
            { echo "$package $pinned is not upstream release $upstream" >&2; return 1; }
        fetch_source "$package" "$pinned" >&2 && echo "$pinned" && return 0
        echo "cannot download $package $pinned; apt said:" >&2
        cat "$CACHE/sources/${package}_${pinned#*:}.unavailable" >&2
        return 1
    fi
    for v in $(source_versions "$package"); do
        # A Debian update within the release is welcome; a different upstream release is not.
        [[ ${v#*:} == "$upstream"[-+~.]* ]] || continue
        missing=$CACHE/sources/${package}_${v#*:}.unavailable
        # Asking again at most once a day keeps a cached run quick and quiet.
        if [[ -n $(find "$missing" -mmin -1440 2>/dev/null) ]]; then
            log "$package $v: not served by the archive today, taking an older one" >&2
            continue
        fi
        if fetch_source "$package" "$v" >&2; then
            echo "$v"
            return 0
        fi
        log "$package $v: not served by the archive (see $missing), trying an older one" >&2
    done
    echo "no source package $package $upstream to download; apt said:" >&2
    cat "$CACHE/sources/${package}"_*.unavailable >&2 2>/dev/null || true
    return 1
}

# Reads the settings at the top of a recipe without building anything.
recipe_info() {
    (
        source "$COMMON"
        SOURCE_VERSION='' NEEDS=() KEY_EXTRA=''
        source "$here/deps/$1.sh"
        printf '%s\n%s\n%s\n%s\n%s\n' "$SOURCE_PACKAGE" "$SOURCE_VERSION" "$UPSTREAM_VERSION" "${NEEDS[*]}" "$KEY_EXTRA"
    )
}

# Hard-links the finished dependencies into $PREFIX, unless it holds exactly those already.
sync_prefix() {
    local manifest='' dep clashes
    for dep in "$@"; do manifest+="$dep ${KEYS[$dep]}"$'\n'; done
    [[ -f $PREFIX/.manifest && $(<"$PREFIX/.manifest") == "${manifest%$'\n'}" ]] && return 0
    # cp would let the later of two dependencies that install the same file win silently.
    clashes=$(for dep in "$@"; do
        (cd "$CACHE/store/$dep-${KEYS[$dep]}" && find . -not -type d)
    done | sort | uniq -d)
    [[ -z $clashes ]] || { printf 'installed by two dependencies:\n%s\n' "$clashes" >&2; return 1; }
    rm -rf "$PREFIX.new" "$PREFIX.old"
    mkdir -p "$PREFIX.new"
    for dep in "$@"; do
        cp -al "$CACHE/store/$dep-${KEYS[$dep]}/." "$PREFIX.new/"
    done
    printf '%s' "$manifest" >"$PREFIX.new/.manifest"
    [[ ! -d $PREFIX ]] || mv "$PREFIX" "$PREFIX.old"
    mv "$PREFIX.new" "$PREFIX"
    rm -rf "$PREFIX.old"
}

declare -A KEYS=() RESULT=()
DONE=()

build_dep() {
    local dep=$1 info package version upstream needs extra key need work store t hex16
    [[ -n ${KEYS[$dep]:-} ]] && return 0
    [[ -f $here/deps/$dep.sh ]] || { echo "no recipe deps/$dep.sh" >&2; exit 1; }
    mapfile -t info < <(recipe_info "$dep")
    package=${info[0]} upstream=${info[2]} needs=${info[3]} extra=${info[4]}
    current=$dep
    version=$(pick_source "$package" "${info[1]}" "$upstream")
    for need in $needs; do build_dep "$need"; done

    key=$({
        cat "$TOOLCHAIN" "$COMMON" "$here/deps/$dep.sh"
        echo "source $package $version"
        echo "compiler $(dpkg-query -W -f='${Package}=${Version} ' "${COMPILER_PACKAGES[@]}")"
        echo "extra $extra"
        for need in $needs; do echo "needs $need ${KEYS[$need]}"; done
    } | sha256sum | cut -c1-16)
    KEYS[$dep]=$key
    store=$CACHE/store/$dep-$key

    if [[ -f $store.stamp ]]; then
        log "$dep: cached ($package $version, key $key)"
        RESULT[$dep]=cached
        DONE+=("$dep")
        return 0
    fi

    t=$(ms)
    log "$dep: building $package $version, key $key"
    sync_prefix "${DONE[@]}"
    work=$CACHE/work/$dep-$key
    rm -rf "$work" "$store"
    mkdir -p "$work/build" "$work/stage"
    step "unpack source" dpkg-source -x --no-copy -q "$CACHE/sources/${package}_${version#*:}/${package}_${version#*:}.dsc" "$work/src"
    (
        source "$COMMON"
        source "$here/deps/$dep.sh"
        export SRC=$work/src BUILD=$work/build STAGE=$work/stage PREFIX TOOLCHAIN JOBS
        cd "$BUILD"
        build
    )
    # Everything must have gone under the prefix: anything else would be lost.
    if [[ -n $(find "$work/stage" -not -type d -not -path "$work/stage$PREFIX/*") ]]; then
        echo "$dep: installed files outside $PREFIX" >&2
        exit 1
    fi
    mkdir -p "$CACHE/store"
    mv "$work/stage$PREFIX" "$store"
    echo "$dep $package $version key $key built $(date -u +%FT%TZ) in $(since "$t")" >"$store.stamp"
    rm -rf "$work"
    # Older builds of the same dependency are of no further use.
    hex16=$(printf '[0-9a-f]%.0s' {1..16})
    find "$CACHE/store" -maxdepth 1 \( -name "$dep-$hex16" -o -name "$dep-$hex16.stamp" \) \
        -not -name "$dep-$key" -not -name "$dep-$key.stamp" -exec rm -rf {} +
    RESULT[$dep]="built in $(since "$t")"
    DONE+=("$dep")
    log "$dep: done in $(since "$t")"
}

main() {
    local t0 deps dep
    t0=$(ms)
    ((EUID == 0)) || { echo "build-deps.sh installs packages: run it as root" >&2; exit 1; }
    mkdir -p "$CACHE"
    # One build at a time per cache: two would fight over work/ and prefix/.
    exec 9>"$CACHE/.lock"
    flock 9
    current=setup
    trap 'status=$?; ((status == 0)) || log "$current: failed (status $status); its work folder stays in $CACHE/work"' EXIT
    step "install packages" install_packages
    step "deb-src entry" setup_deb_src

    deps=("$@")
    ((${#deps[@]})) || deps=("${DEFAULT_DEPS[@]}")
    for dep in "${deps[@]}"; do build_dep "$dep"; done
    current=prefix
    step "assemble prefix" sync_prefix "${DONE[@]}"

    log "summary (cache $CACHE):"
    for dep in "${DONE[@]}"; do
        printf '  %-15s %-18s %6s  %s\n' "$dep" "${KEYS[$dep]}" \
            "$(du -sh "$CACHE/store/$dep-${KEYS[$dep]}" | cut -f1)" "${RESULT[$dep]}"
    done
    log "prefix $PREFIX ready in $(since "$t0")"
}

# On one line, so that bash never reads on in a file edited while it runs.
main "$@"; exit
