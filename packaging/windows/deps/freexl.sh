# libfreexl, the bank tool's reader of Excel 97-2003 workbooks, as libfreexl-1.dll with
# freexl.pc. It converts a workbook's code pages with iconv, which MinGW-w64 lacks: a small
# iconv over ICU stands in, and its file name is taken as UTF-8, as on Linux, rather than in
# the ANSI code page.
SOURCE_PACKAGE=freexl
UPSTREAM_VERSION=1.0.6
NEEDS=(icu)

write_shim() {
    mkdir -p shim
    # The same settings the library's own Windows build uses.
    cp "$SRC/config-msvc.h" shim/config.h
    cat >shim/iconv.h <<'EOF'
#pragma once
#include <stddef.h>
typedef struct KelvaroIconv *iconv_t;
iconv_t iconv_open(const char *to, const char *from);
size_t iconv(iconv_t cd, char **in, size_t *inLeft, char **out, size_t *outLeft);
int iconv_close(iconv_t cd);
EOF
    cat >shim/localcharset.h <<'EOF'
#pragma once
const char *locale_charset(void);
EOF
    cat >shim/utf8open.h <<'EOF'
#pragma once
#include <stdio.h>
FILE *kelvaro_fopen_utf8(const char *path, const char *mode);
#define fopen kelvaro_fopen_utf8
EOF
    cat >shim/iconv.c <<'EOF'
#include "iconv.h"
#include "localcharset.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <unicode/ucnv.h>
#include <windows.h>

struct KelvaroIconv
{
    UConverter *from;
    UConverter *to;
};

iconv_t iconv_open(const char *to, const char *from)
{
    UErrorCode status = U_ZERO_ERROR;
    iconv_t cd = calloc(1, sizeof *cd);
    if (!cd)
        return (iconv_t)-1;
    cd->from = ucnv_open(from, &status);
    if (U_SUCCESS(status))
        cd->to = ucnv_open(to, &status);
    /* A byte sequence that is not text stops the conversion, as iconv's EILSEQ. */
    if (U_SUCCESS(status))
        ucnv_setToUCallBack(cd->from, UCNV_TO_U_CALLBACK_STOP, NULL, NULL, NULL, &status);
    if (U_SUCCESS(status))
        ucnv_setFromUCallBack(cd->to, UCNV_FROM_U_CALLBACK_STOP, NULL, NULL, NULL, &status);
    if (U_FAILURE(status)) {
        iconv_close(cd);
        errno = EINVAL;
        return (iconv_t)-1;
    }
    return cd;
}

/* Converts whole input, as libfreexl calls it: one string at a time. */
size_t iconv(iconv_t cd, char **in, size_t *inLeft, char **out, size_t *outLeft)
{
    if (!in || !*in)
        return 0;
    UErrorCode status = U_ZERO_ERROR;
    const char *source = *in;
    char *target = *out;
    ucnv_convertEx(cd->to, cd->from, &target, target + *outLeft, &source, source + *inLeft,
                   NULL, NULL, NULL, NULL, TRUE, TRUE, &status);
    *outLeft -= (size_t)(target - *out);
    *inLeft -= (size_t)(source - *in);
    *out = target;
    *in = (char *)source;
    if (U_FAILURE(status)) {
        errno = status == U_BUFFER_OVERFLOW_ERROR ? E2BIG : EILSEQ;
        return (size_t)-1;
    }
    return 0;
}

int iconv_close(iconv_t cd)
{
    if (cd == (iconv_t)-1 || !cd)
        return -1;
    ucnv_close(cd->from);
    ucnv_close(cd->to);
    free(cd);
    return 0;
}

const char *locale_charset(void)
{
    return "UTF-8";
}

FILE *kelvaro_fopen_utf8(const char *path, const char *mode)
{
    wchar_t widePath[32768];
    wchar_t wideMode[8];
    if (!MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, widePath, 32768) ||
        !MultiByteToWideChar(CP_UTF8, 0, mode, -1, wideMode, 8)) {
        errno = ENOENT;
        return NULL;
    }
    return _wfopen(widePath, wideMode);
}
EOF
}

build() {
    local root=$STAGE$PREFIX
    step "shim" write_shim
    step "compile" "$WIN_CC" -O2 -shared -DDLL_EXPORT -Ishim -include shim/utf8open.h \
        -I"$SRC/headers" -I"$PREFIX/include" "$SRC/src/freexl.c" shim/iconv.c \
        -o libfreexl-1.dll -Wl,--out-implib,libfreexl.dll.a -L"$PREFIX/lib" -licuuc
    "$WIN_HOST-strip" --strip-unneeded libfreexl-1.dll
    install -D -m 644 -t "$root/include" "$SRC/headers/freexl.h"
    install -D -m 644 -t "$root/bin" libfreexl-1.dll
    install -D -m 644 -t "$root/lib" libfreexl.dll.a
    mkdir -p "$root/lib/pkgconfig"
    cat >"$root/lib/pkgconfig/freexl.pc" <<EOF
prefix=$PREFIX
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: freexl
Description: Reads Excel 97-2003 workbooks
Version: $UPSTREAM_VERSION
Libs: -L\${libdir} -lfreexl
Cflags: -I\${includedir}
EOF
}
