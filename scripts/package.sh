#!/usr/bin/env bash
# Builds the Debian package of VELMORA (velmora_VERSION-1_ARCH.deb in build-deb/) and checks
# it with lintian. The build uses Debian's own compiler and linker flags (hardening), in a
# folder of its own so that the everyday build in build/ is left alone; only the programs
# are built, not the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --solo-pacchetti

eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
export CXXFLAGS="$CPPFLAGS $CXXFLAGS"  # CMake does not read CPPFLAGS (it carries _FORTIFY_SOURCE)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# CPack installs without building everything first: the tests are not part of the package.
cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
    "${launcher[@]}"
# velmora_package is every program and file the package installs (cmake/Packaging.cmake).
cmake --build build-deb -j"$(nproc)" --target velmora_package
rm -f build-deb/velmora_*.deb
(cd build-deb && cpack -G DEB)

deb=$(ls build-deb/velmora_*.deb)
echo "Controllo il pacchetto con lintian..."
lintian --fail-on error --allow-root "$deb"
echo "Pacchetto pronto: $deb"
echo "Per installarlo: sudo apt-get install ./$deb"
