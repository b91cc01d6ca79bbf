# SQLite as libsqlite3-0.dll with sqlite3.h, found by CMake's FindSQLite3 and by pkg-config.
SOURCE_PACKAGE=sqlite3
UPSTREAM_VERSION=3.40.1

# Debian's tree is the full source: its Tcl scripts make the one-file amalgamation on the host.
make_amalgamation() {
    "$SRC/configure" --disable-tcl >configure.log
    make -s sqlite3.c
}

# The same compile-time options as Debian's libsqlite3, read from its debian/rules, plus
# those its configure line turns on.
debian_options() {
    grep -o -- '-DSQLITE_[A-Za-z0-9_]*\(=[^ ]*\)\?' "$SRC/debian/rules" | sort -u
    printf '%s\n' -DSQLITE_ENABLE_FTS4 -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_MATH_FUNCTIONS
}

compile_dll() {
    local options
    mapfile -t options < <(debian_options)
    [[ " ${options[*]} " == *" -DSQLITE_THREADSAFE=1 "* ]] ||
        { echo "debian/rules no longer lists SQLite's options where expected" >&2; return 1; }
    "$WIN_CC" -O2 -fno-strict-aliasing "${options[@]}" -shared sqlite3.c \
        -o libsqlite3-0.dll -Wl,--out-implib,libsqlite3.dll.a
    "$WIN_HOST-strip" --strip-unneeded libsqlite3-0.dll
}

install_files() {
    local root=$STAGE$PREFIX
    install -D -m 644 -t "$root/include" sqlite3.h sqlite3ext.h
    install -D -m 644 -t "$root/lib" libsqlite3.dll.a
    install -D -m 755 -t "$root/bin" libsqlite3-0.dll
    mkdir -p "$root/lib/pkgconfig"
    cat >"$root/lib/pkgconfig/sqlite3.pc" <<PC
prefix=$PREFIX
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: SQLite
Description: SQL database engine
Version: $UPSTREAM_VERSION
Libs: -L\${libdir} -lsqlite3
Cflags: -I\${includedir}
PC
}

build() {
    step "amalgamation (host)" make_amalgamation
    step "compile" compile_dll
    step "install" install_files
}
