# `cpack -G DEB` in a build folder makes quadix_<version>_<arch>.deb, laid out
# for /usr. Its Depends line is worked out by dpkg-shlibdeps (from dpkg-dev)
# from the libraries that the executable links, plus the packages below that
# are loaded at run time and so escape it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quadix)
set(CPACK_PACKAGE_VENDOR "The Quadix developers")
set(CPACK_PACKAGE_CONTACT "Quadix developers <dev@quadix.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "falling-block puzzle game with an Italian interface")
# (No semicolons: CMake would take them for list separators.)
set(CPACK_PACKAGE_DESCRIPTION "\
Pieces of four or five squares fall one at a time into a well. Move and
turn them so that they fill whole rows, which then vanish. The game speeds
up as rows are cleared and ends when the pile reaches the top of the well.
The ten best scores are kept in a table of records.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")

set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quadix developers <dev@quadix.invalid>")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its platform plugin (xcb, offscreen) at run time, the game
# loads SDL2 and libpulse (which SDL2's package brings) when the first sound
# is due, and the windows are laid out for DejaVu Sans where Verdana is
# missing.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libsdl2-2.0-0 (>= 2.26), fonts-dejavu-core")
# Qt's Wayland plugin: without it the game opens through XWayland on a
# Wayland desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
