# expat, the XML parser the bank tool reads workbooks with, as libexpat.dll with
# expat.pc for pkg-config.
SOURCE_PACKAGE=expat
UPSTREAM_VERSION=2.5.0

build() {
    # Debian packs the whole upstream repository: the library is in expat/. Without DTDs,
    # which the bank tool refuses anyway: Debian's patches test XML_DTD == 1, which
    # only its autotools build defines so.
    step "configure" cmake_configure "$SRC/expat" -DEXPAT_SHARED_LIBS=ON -DEXPAT_DTD=OFF \
        -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF \
        -DEXPAT_BUILD_DOCS=OFF
    step "compile" cmake_build
    step "install" cmake_install
}
