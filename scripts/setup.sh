#!/usr/bin/env bash
# Installs the Debian packages that are missing, then configures and builds VELMORA
# in build/. Quick the second time: nothing is reinstalled and the build is incremental.
# With --solo-pacchetti it only installs the packages.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    cmake g++ make                                   # to build
    qt6-base-dev qt6-svg-dev libqt6sql6-sqlite       # Qt: widgets, SQL with SQLite, the SVG icons
    libsqlite3-dev qt6-translations-l10n             # SQLite's own API; Qt's dialogs in Italian
    libqt6sql6-psql postgresql                       # several desks on one PostgreSQL database; its tests start a server
    libpq-dev                                        # searches on PostgreSQL that never hold the window
    mdbtools-dev pkgconf                             # an office's old Access/Jet archive, read through libmdb
    mdbtools nodejs                                  # the tests' second reader of Access files (npm mdb-reader), the benchmark's floor
    fonts-dejavu-core fonts-liberation               # the same letters on every machine; Arial for the property sheet
    xvfb xauth poppler-utils                         # to run without a screen and read printouts back
    dpkg-dev fakeroot                                # the Debian package (cpack uses dpkg-shlibdeps)
    lintian appstream desktop-file-utils             # the checks of the package, its AppStream data and menu entry
    groff-base                                       # to read the manual pages back as a terminal shows them
)
# Debian's npm conflicts with a Node.js that carries its own npm (as NodeSource's does).
command -v npm >/dev/null || packages+=(npm)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
    echo "Installo i pacchetti mancanti: ${missing[*]}"
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
fi

# --solo-pacchetti (or --pacchetti): only the packages (the fuzz build has a folder of its own).
case "${1:-}" in --solo-pacchetti | --pacchetti) exit 0 ;; esac

[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
