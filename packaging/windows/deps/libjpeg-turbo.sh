# libjpeg-turbo with the libjpeg 6b interface, as libjpeg-62.dll (what Debian ships as
# libjpeg62-turbo), found by CMake's FindJPEG.
SOURCE_PACKAGE=libjpeg-turbo
UPSTREAM_VERSION=2.1.5

# SIMD would need nasm; TurboJPEG is an API Kelvaro does not use.
build() {
    step "configure" cmake_configure "$SRC" -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DENABLE_STATIC=OFF
    step "compile" cmake_build
    step "install" cmake_install
}
