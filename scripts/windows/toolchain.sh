#!/usr/bin/env bash
# Makes, once, the MinGW-w64 toolchain of Qt that the Windows program is built
# with, from Debian 12's own source packages, into the cache folder:
#   ${XDG_CACHE_HOME:-~/.cache}/dr7326g/dr7326g-qt5-mingw64
# (or the folder given). It holds Qt 5.15 qtbase (Core, Gui, Widgets,
# PrintSupport, Sql with its SQLite and PostgreSQL drivers, the Windows
# platform plugin and styles), Qwt 6.1, OpenSSL 3 and libpq 15, all built
# with Debian's MinGW-w64 (posix threads). About two hours on two cores, and
# about 6 GB in a temporary work folder; a folder that is already whole is
# left as it is. Needs root (or sudo) for apt: it installs the build
# dependencies and adds a deb-src entry for bookworm when there is none.
# Usage: scripts/windows/toolchain.sh [FOLDER]
set -euo pipefail
prefix=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/dr7326g/dr7326g-qt5-mingw64}
if [[ -f "$prefix/lib/cmake/Qt5/Qt5Config.cmake" && -f "$prefix/plugins/sqldrivers/qsqlpsql.dll" &&
      -f "$prefix/lib/qwt.dll" ]]; then
    echo "The Windows toolchain is there: $prefix"
    exit 0
fi
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
H=x86_64-w64-mingw32
export DEBIAN_FRONTEND=noninteractive

# Sources and build dependencies.
if ! grep -rqs '^deb-src\|^Types:.*deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    # The same keyring as the system's own entry for that archive, or apt
    # refuses the two entries as conflicting.
    keyring=$(grep -rhs -A5 'deb.debian.org/debian$' /etc/apt/sources.list.d/*.sources |
        sed -n 's/^Signed-By: *//p' | head -n 1)
    list=/etc/apt/sources.list.d/dr7326g-sources
    echo "Adding a deb-src entry for bookworm ($list.*)"
    if [[ -n $keyring ]]; then
        printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: %s\n' \
            "$keyring" | "${sudo[@]}" tee "$list.sources" >/dev/null
    else
        echo "deb-src http://deb.debian.org/debian bookworm main" |
            "${sudo[@]}" tee "$list.list" >/dev/null
    fi
fi
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends dpkg-dev g++-mingw-w64-x86-64-posix \
    gcc-mingw-w64-x86-64-posix make perl python3 tcl xz-utils bzip2 patch >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/dr7326g-toolchain.XXXXXX")
log=$work/log
# A failed build keeps its work folder and logs for a look.
trap 'status=$?; if [[ $status -eq 0 ]]; then rm -rf "$work"; else
      echo "The toolchain was not made (status $status): logs in $log" >&2; fi' EXIT
cd "$work"
# The posix-thread compilers under the plain names, first on PATH for Qt's configure.
mkdir bin
for t in gcc g++ c++ cpp; do ln -s "/usr/bin/$H-$t-posix" "bin/$H-$t"; done
export PATH="$work/bin:$PATH"
for f in qtbase-opensource-src qwt sqlite3 openssl postgresql-15; do
    apt-get source --download-only "$f" >/dev/null
done
mkdir -p "$prefix/lib" "$prefix/include" "$prefix/bin"
echo "Building into $prefix (logs in $log while it runs)"
mkdir "$log"

# SQLite: the amalgamation made from Debian's source tree, as a static library.
mkdir sqlite && tar xf sqlite3_*.orig.tar.* -C sqlite --strip-components=1
(cd sqlite && ./configure >"$log/sqlite.txt" 2>&1 && make sqlite3.c >>"$log/sqlite.txt" 2>&1)
$H-gcc -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_COLUMN_METADATA \
    -c sqlite/sqlite3.c -o sqlite3.o
$H-ar rcs "$prefix/lib/libsqlite3.a" sqlite3.o
cp sqlite/sqlite3.h sqlite/sqlite3ext.h "$prefix/include/"

# Qt's qtbase. Debian's tarball lacks the Wintab header: the Windows platform
# plugin is built without graphics-tablet support.
echo "qtbase (the longest part)"
mkdir qtbase && tar xf qtbase-opensource-src_*.orig.tar.xz -C qtbase --strip-components=1
w=qtbase/src/plugins/platforms/windows
sed -i 's/QT_CONFIG(tabletevent)/0 \/* built without the Wintab header *\//' \
    $w/qwindowscontext.cpp $w/qwindowspointerhandler.cpp
sed -i 's/^qtConfig(tabletevent) {/false {/' $w/windows.pri
(cd qtbase && ./configure -xplatform win32-g++ -device-option CROSS_COMPILE=$H- -prefix "$prefix" \
    -opensource -confirm-license -release -shared -nomake examples -nomake tests \
    -opengl desktop -no-dbus -no-icu -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-freetype \
    -qt-harfbuzz -sql-sqlite -system-sqlite -no-sql-psql -no-sql-mysql -no-sql-odbc \
    -no-sql-ibase -I "$prefix/include" -L "$prefix/lib" SQLITE_LIBS="-lsqlite3" \
    -no-feature-testlib -no-feature-concurrent -skip qtdoc >"$log/qtbase.txt" 2>&1 &&
    make -j"$(nproc)" >>"$log/qtbase.txt" 2>&1 && make install >/dev/null)

# Qwt, with Debian's patch for Qt 5.15, release only, without Qt's Concurrent.
echo "Qwt"
mkdir qwt && tar xf qwt_*.orig.tar.* -C qwt --strip-components=1
(cd qwt &&
    sed -i "s|^\(\s*QWT_INSTALL_PREFIX\s*=\).*|\1 $prefix|" qwtconfig.pri &&
    sed -i 's/^QWT_CONFIG\s*+=\s*Qwt\(Designer\|Examples\|Playground\|Tests\|Svg\|OpenGL\)/#&/' qwtconfig.pri &&
    tar xf ../qwt_*.debian.tar.* && patch -p1 <debian/patches/06_ftbs.patch >/dev/null &&
    sed -i 's/^\(\s*CONFIG\s*+=\s*\)debug_and_release/\1release/; /^\s*CONFIG\s*+=\s*build_all/d' qwtbuild.pri &&
    sed -i '/QT += concurrent/d' src/src.pri &&
    sed -i '/#include <qtconcurrentrun.h>/d; s/!defined(QT_NO_QFUTURE)/0/' src/qwt_point_mapper.cpp \
        src/qwt_plot_rasteritem.cpp src/qwt_plot_spectrogram.cpp &&
    "$prefix/bin/qmake" qwt.pro >"$log/qwt.txt" 2>&1 &&
    make -j"$(nproc)" >>"$log/qwt.txt" 2>&1 && make install >/dev/null)

# OpenSSL and libpq for the lab's server over TLS, and Qt's PostgreSQL driver.
echo "OpenSSL, libpq and Qt's PostgreSQL driver"
mkdir openssl && tar xf openssl_*.orig.tar.gz -C openssl --strip-components=1
(cd openssl && ./Configure mingw64 --cross-compile-prefix=$H- --prefix="$prefix" --libdir=lib \
    shared no-tests >"$log/openssl.txt" 2>&1 &&
    make -j"$(nproc)" >>"$log/openssl.txt" 2>&1 && make install_sw >/dev/null)
mkdir pg && tar xf postgresql-15_*.orig.tar.bz2 -C pg --strip-components=1
(cd pg && ./configure --host=$H --prefix="$prefix" --without-readline --without-icu \
    --without-zlib --with-ssl=openssl --with-includes="$prefix/include" \
    --with-libraries="$prefix/lib" >"$log/pg.txt" 2>&1 &&
    make -C src/include >/dev/null && make -C src/common -j"$(nproc)" >/dev/null &&
    make -C src/port -j"$(nproc)" >/dev/null &&
    make -C src/interfaces/libpq -j"$(nproc)" >>"$log/pg.txt" 2>&1 &&
    make -C src/interfaces/libpq install >/dev/null && make -C src/include install >/dev/null)
cp "$prefix/lib/libpq.dll" "$prefix/bin/"
mkdir sqldrivers
(cd sqldrivers &&
    "$prefix/bin/qmake" ../qtbase/src/plugins/sqldrivers/sqldrivers.pro -- \
        PSQL_INCDIR="$prefix/include" PSQL_LIBDIR="$prefix/lib" >"$log/psql.txt" 2>&1 &&
    make -C psql -j"$(nproc)" >>"$log/psql.txt" 2>&1 && make -C psql install >/dev/null)
echo "The Windows toolchain is ready: $prefix"
