# The Debian package: `cpack -G DEB` in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr (scripts/deb-check.sh builds and checks it).
#
# dpkg-shlibdeps finds the shared libraries the programs link; it cannot see
# what Qt loads at run time, so those are listed here by hand: the QML modules
# the interface imports (and the modules they import in turn; the install
# test compares this list with the imports in src/), the SVG image format and
# icon engine plugins (libqt6svg6), the Wayland platform plugin (qt6-wayland,
# so the window runs natively in a Wayland session), the interface font, and
# libsecret, which the keychain opens when first asked.
set(ZIMBREL_QML_DEPENDS
  qml6-module-qtqml
  qml6-module-qtqml-workerscript
  qml6-module-qtquick
  qml6-module-qtquick-templates
  qml6-module-qtquick-controls
  qml6-module-qtquick-layouts
  qml6-module-qtquick-window
  qml6-module-qtquick-shapes)
set(ZIMBREL_PACKAGE_DEPENDS ${ZIMBREL_QML_DEPENDS} libqt6svg6 qt6-wayland fonts-inter libsecret-1-0)

if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  # The programs carry their install folders (help page, autostart entry);
  # a package built from this tree would point them at the wrong place.
  message(STATUS "Packaging: configure with -DCMAKE_INSTALL_PREFIX=/usr to build the .deb")
endif()

# Folders made by the install (/usr/share/man/man1, …) get their usual 0755
# whatever the build machine's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zimbrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_CONTACT "Corvane <packaging@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop time tracker for workspace members")
# The extended description; lintian wants one, and it must not repeat the
# summary (so not CPACK_DEBIAN_PACKAGE_DESCRIPTION, which would).
set(CPACK_PACKAGE_DESCRIPTION
  "Start a timer for a project and task, see the running time next to the\n"
  "tray icon and review your day in reports. Starts and stops work offline\n"
  "and are sent in order later. zimbrel-control starts and stops the timer\n"
  "from a terminal, a keyboard shortcut or a status bar.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_HOMEPAGE_URL "https://zimbrel.com/")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS ${ZIMBREL_PACKAGE_DEPENDS})
# GNOME Shell shows tray icons only with this extension; a recommendation
# would pull in GNOME Shell itself on other desktops.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-shell-extension-appindicator")
include(CPack)
