# Shared by the recipes in deps/. It is part of every dependency's cache key, so a change
# here rebuilds them all: keep here only what shapes the builds.
#
# build-deps.sh sets, for the recipe being built:
#   SRC      the unpacked Debian source, its patches applied
#   BUILD    an empty build folder
#   STAGE    the DESTDIR root to install into
#   PREFIX   the prefix compiled into the build, where the files end up
#   TOOLCHAIN, JOBS

WIN_HOST=x86_64-w64-mingw32
WIN_CC=$WIN_HOST-gcc-posix
WIN_CXX=$WIN_HOST-g++-posix
WIN_AR=$WIN_HOST-ar
WIN_RANLIB=$WIN_HOST-ranlib

cmake_configure() {
    local source=$1
    shift
    cmake -S "$source" -B "$BUILD" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DKELVARO_WINDOWS_PREFIX="$PREFIX" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        "$@"
}

cmake_build() {
    cmake --build "$BUILD" --parallel "$JOBS"
}

# Installs under $STAGE only: the cache takes the files once the whole recipe succeeded.
cmake_install() {
    DESTDIR="$STAGE" cmake --install "$BUILD"
}
