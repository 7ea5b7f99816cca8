# The Debian package: `make package` configures build-deb/ for /usr, builds it and runs
# `cpack -G DEB` there, which writes quorvel_VERSION_ARCH.deb. The prefix is the build's
# own: the watcher unit and the manual name the installed paths. Its library dependencies come from dpkg-shlibdeps; the fonts
# the windows are laid out for are named here, as the program asks for them by family.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${QVL_VERSION_TEXT})
set(CPACK_PACKAGE_VENDOR "The Quorvel developers")
set(CPACK_PACKAGE_CONTACT "The Quorvel developers <dev@quorvel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop folder finder with a command-line tool")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvel indexes every folder of the drives you tick into one small SQLite database,
once, and then finds folders by name from that database: containing or exact match,
case ignored, on all drives or only some, hits grouped by drive. qvl is the
command-line tool on the same index, for scripts and terminals.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    message(STATUS "A package made here installs into ${CMAKE_INSTALL_PREFIX}; `make package` makes one for /usr")
endif()
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QVL_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wine, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-color-emoji, fonts-dejavu-core, xdg-utils")
# Files owned by root, folders 0755, files 0644 whatever the build folder's umask was.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
