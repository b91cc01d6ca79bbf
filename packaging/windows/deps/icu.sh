# ICU, for the bank tool's GB18030 text: Qt for Windows is built without it, and
# Windows' own GB18030 code page is missing under Wine, where the tests run.
# Gives icuuc72.dll and icudt72.dll with icu-uc.pc for pkg-config.
SOURCE_PACKAGE=icu
UPSTREAM_VERSION=72.1

build() {
    local common=(--disable-tests --disable-samples --disable-extras --disable-layoutex
        --disable-icuio --disable-debug --enable-release)
    # A cross build of ICU runs the data tools of a host build of the same source.
    mkdir -p host windows
    (
        cd host
        step "configure host tools" "$SRC/source/configure" "${common[@]}" >configure.log
        step "compile host tools" make -s -j"$JOBS"
    )
    cd windows
    step "configure" "$SRC/source/configure" "${common[@]}" --host="$WIN_HOST" \
        --with-cross-build="$BUILD/host" --prefix="$PREFIX" --enable-shared --disable-static \
        --disable-tools CC="$WIN_CC" CXX="$WIN_CXX" >configure.log
    step "compile" make -s -j"$JOBS"
    step "install" make -s DESTDIR="$STAGE" install
}
