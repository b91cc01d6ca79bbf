# minizip from zlib's contrib/, as libminizip-1.dll with its headers under include/minizip
# and minizip.pc, the way Debian's libminizip-dev lays them out. Uses the Windows zlib
# from libz-mingw-w64-dev (zlib1.dll).
SOURCE_PACKAGE=zlib
UPSTREAM_VERSION=1.2.13
KEY_EXTRA=$(dpkg-query -W -f='${Package}=${Version}' libz-mingw-w64-dev)

MINIZIP_SOURCES=(ioapi.c mztools.c unzip.c zip.c iowin32.c)
MINIZIP_HEADERS=(crypt.h ioapi.h mztools.h unzip.h zip.h iowin32.h)

# Upstream builds it with libtool, which makes no DLL without -no-undefined: five files
# are simpler compiled by hand. The -1 follows its libtool version 1:0:0.
compile_dll() {
    local dir=$SRC/contrib/minizip
    "$WIN_CC" -O2 -shared "${MINIZIP_SOURCES[@]/#/$dir/}" -lz \
        -o libminizip-1.dll -Wl,--out-implib,libminizip.dll.a
    "$WIN_HOST-strip" --strip-unneeded libminizip-1.dll
}

install_files() {
    local dir=$SRC/contrib/minizip root=$STAGE$PREFIX version
    version=$(sed -n 's/^AC_INIT(\[minizip\], \[\([^]]*\)\].*/\1/p' "$dir/configure.ac")
    [[ -n $version ]] || { echo "no minizip version in configure.ac" >&2; return 1; }
    install -D -m 644 -t "$root/include/minizip" "${MINIZIP_HEADERS[@]/#/$dir/}"
    install -D -m 644 -t "$root/lib" libminizip.dll.a
    install -D -m 755 -t "$root/bin" libminizip-1.dll
    mkdir -p "$root/lib/pkgconfig"
    sed -e "s|@prefix@|$PREFIX|" -e 's|@exec_prefix@|${prefix}|' -e 's|@libdir@|${exec_prefix}/lib|' \
        -e 's|@includedir@|${prefix}/include|' -e "s|@PACKAGE_VERSION@|$version|" \
        "$dir/minizip.pc.in" >"$root/lib/pkgconfig/minizip.pc"
}

build() {
    step "compile" compile_dll
    step "install" install_files
}
