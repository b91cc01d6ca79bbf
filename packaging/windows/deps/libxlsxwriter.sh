# libxlsxwriter as libxlsxwriter.dll with xlsxwriter.pc, on the minizip built here (as
# Debian builds it on libminizip) and the Windows zlib.
SOURCE_PACKAGE=libxlsxwriter
UPSTREAM_VERSION=1.1.4
NEEDS=(minizip)
KEY_EXTRA=$(dpkg-query -W -f='${Package}=${Version}' libz-mingw-w64-dev)

# FindMINIZIP reads zlib's version from zlib.h beside minizip/, where it is only on
# Debian itself; here zlib.h is in the MinGW tree that FindZLIB has found.
point_at_zlib_h() {
    local file=$SRC/cmake/FindMINIZIP.cmake
    grep -q '"${MINIZIP_INCLUDE_DIRS}/zlib.h"' "$file" ||
        { echo "FindMINIZIP.cmake changed: the zlib.h lookup needs a new look" >&2; return 1; }
    sed -i 's|"${MINIZIP_INCLUDE_DIRS}/zlib.h"|"${ZLIB_INCLUDE_DIRS}/zlib.h"|' "$file"
}

# Debian's options, less OpenSSL for MD5: the bundled MD5 spares a DLL.
build() {
    step "patch" point_at_zlib_h
    step "configure" cmake_configure "$SRC" -DBUILD_SHARED_LIBS=ON -DUSE_SYSTEM_MINIZIP=ON \
        -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF
    step "compile" cmake_build
    step "install" cmake_install
}
