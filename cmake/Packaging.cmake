# Installing VELMORA as a desktop program (cmake --install) and packing it for Debian
# (cpack -G DEB, or scripts/package.sh).
include(GNUInstallDirs)

set(VELMORA_VENDOR "VELMORA" CACHE STRING "Who makes and supplies the program")
set(VELMORA_CONTACT "VELMORA <assistenza@velmora.it>" CACHE STRING "The package maintainer, name and e-mail")
set(VELMORA_HOMEPAGE "https://velmora.it/" CACHE STRING "The program's web page")
# The program is not free software: the same words in the package and in the AppStream data.
set(VELMORA_LICENSE "LicenseRef-proprietary" CACHE STRING "SPDX licence of the program")

set(linux ${PROJECT_SOURCE_DIR}/resources/linux)
set(generated ${PROJECT_BINARY_DIR}/linux)

# The programs, named once: what is installed and what scripts/package.sh builds
# (velmora_package below) come from this one list.
set(VELMORA_PROGRAMS velmora velmora-esempio velmora-stampa velmora-trasferisci)
install(TARGETS ${VELMORA_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The shipped files the program looks for after its own folder: the report files and the
# default background (the same files are also built into it).
install(FILES
    ${PROJECT_SOURCE_DIR}/resources/reports/agenda.rpt
    ${PROJECT_SOURCE_DIR}/resources/reports/rapporto.rpt
    ${PROJECT_SOURCE_DIR}/resources/reports/richieste.rpt
    ${PROJECT_SOURCE_DIR}/resources/reports/scheda.rpt
    ${PROJECT_SOURCE_DIR}/resources/images/sfondo.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora)

# The menu entry, its icon and the software centre's description.
install(FILES ${linux}/velmora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/velmora.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(${linux}/it.velmora.velmora.metainfo.xml.in ${generated}/it.velmora.velmora.metainfo.xml @ONLY)
install(FILES ${generated}/it.velmora.velmora.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages, compressed as Debian wants them.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(compressed)
foreach(page velmora.1 velmora-esempio.1 velmora-stampa.1 velmora-trasferisci.1)
    add_custom_command(OUTPUT ${generated}/${page}.gz
        COMMAND ${GZIP_EXECUTABLE} -9n -c ${linux}/${page} > ${generated}/${page}.gz
        DEPENDS ${linux}/${page} VERBATIM)
    list(APPEND compressed ${generated}/${page}.gz)
endforeach()

# The package's copyright and changelog, in /usr/share/doc/velmora.
set(CPACK_PACKAGE_CONTACT "${VELMORA_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
configure_file(${linux}/copyright ${generated}/copyright @ONLY)
configure_file(${linux}/changelog.Debian ${generated}/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${generated}/changelog.Debian.gz
    COMMAND ${GZIP_EXECUTABLE} -9n -c ${generated}/changelog.Debian > ${generated}/changelog.Debian.gz
    DEPENDS ${generated}/changelog.Debian VERBATIM)
add_custom_target(velmora_install_files ALL DEPENDS ${compressed} ${generated}/changelog.Debian.gz)
# Everything the package holds, without the tests: scripts/package.sh builds this alone.
add_custom_target(velmora_package)
add_dependencies(velmora_package ${VELMORA_PROGRAMS} velmora_install_files)
install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${generated}/copyright ${generated}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The package is the program's own, not an upload to Debian: no bug of Debian's to close.
install(FILES ${linux}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME velmora)

# The Debian package.
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "${VELMORA_VENDOR}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "office software for a small real-estate agency")
set(CPACK_PACKAGE_DESCRIPTION
    "VELMORA keeps the records of a small real-estate office in one local
database: the properties in its portfolio with their owners, photos and
visits, the requests of clients and the properties that fit them, leads and
news, and the appointment diary. It prints property sheets, visit reports,
matching requests and the diary, and makes and restores backup copies of the
database. Its interface is in Italian.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VELMORA_HOMEPAGE}")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Libraries as dpkg-shlibdeps finds them; besides them what Qt loads at run time (the SQLite
# driver, the Italian texts of its dialogs) and the faces the windows are laid out for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-translations-l10n, fonts-dejavu-core, fonts-liberation")
# Backups of a database on a PostgreSQL server are made and restored with pg_dump and pg_restore.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "postgresql-client")
set(CPACK_GENERATOR DEB)
include(CPack)
