# Packages made with CPack from an installed build. `cpack -G DEB` in a Release build makes
# zelvane_VERSION_ARCH.deb: everything `cmake --install` puts under the prefix, moved to
# /usr, with the library dependencies that dpkg-shlibdeps finds in the programs. The
# desktop's caches (MIME database, desktop entries, icon theme) are refreshed by the
# triggers of the Debian packages that own them, since the files land in /usr/share.

set(CPACK_PACKAGE_NAME zelvane)
set(CPACK_PACKAGE_VENDOR Halcyra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Halcyra <zelvane@halcyra.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://zelvane.halcyra.com/)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "snapshots of directory trees, browsed and searched later")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Zelvane records the names of the folders and files of a disk, a CD or a folder,"
    "each classified into a node kind with its icon, in a .zelv snapshot file that can"
    "be browsed, edited and searched later without the disks."
    ""
    "The package holds the desktop program zelvane and zelvane-cli, which captures,"
    "lists and searches snapshots from a shell.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/License.txt)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(ZELVANE_GUI)
    # What makes the desktop show the program with its icon, open .zelv files with it, and
    # draw its texts.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
        "shared-mime-info, desktop-file-utils, hicolor-icon-theme, fonts-dejavu-core")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")

include(CPack)
