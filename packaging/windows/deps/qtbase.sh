# Qt's base modules for Windows: Core, Gui, Widgets and Test, the windows and offscreen
# platform plugins and the windowsvista style, with Qt's own zlib, libpng, FreeType,
# HarfBuzz and PCRE2 built in.
SOURCE_PACKAGE=qt6-base
# The host's moc, rcc and uic serve this Qt, so it must be the host Qt's very release.
SOURCE_VERSION=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
UPSTREAM_VERSION=6.4.2

# With Direct2D off, the windows platform plugin still asks for the DirectWrite font
# database, which QtGui builds only together with Direct2D.
guard_directwrite() {
    local file=$SRC/src/plugins/platforms/windows/qwindowsintegration.cpp
    [[ $(grep -c '^#if QT_CONFIG(directwrite3)$' "$file") == 2 ]] ||
        { echo "qwindowsintegration.cpp changed: the DirectWrite guard needs a new look" >&2; return 1; }
    sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' "$file"
}

# Off: what needs a GPU API, a system library or a module Kelvaro does not use.
# tabletevent: Debian's +dfsg tarball drops the Wintab headers it is built on.
configure_qt() {
    "$SRC/configure" -prefix "$PREFIX" -release -shared -xplatform win32-g++ -qt-host-path /usr \
        -nomake examples -nomake tests \
        -no-opengl -no-dbus -no-icu -no-zstd -no-libjpeg -no-vulkan \
        -qt-zlib -qt-libpng -qt-freetype -qt-harfbuzz -qt-pcre -qt-doubleconversion \
        -no-feature-tabletevent -no-feature-direct2d -no-feature-network -no-feature-sql \
        -no-feature-printsupport -no-feature-xml -no-feature-concurrent \
        -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
}

build() {
    step "patch" guard_directwrite
    step "configure" configure_qt
    step "compile" cmake_build
    step "install" cmake_install
}
