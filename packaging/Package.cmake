# The Debian package tvx, made by CPack's DEB generator from the install
# rules of the whole project (scripts/package.sh runs it). Its library
# dependencies are computed by dpkg-shlibdeps.

set(TVX_PACKAGE_MAINTAINER "Tarvex <maintainers@tarvex.de>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tvx)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tarvex)
set(CPACK_PACKAGE_CONTACT ${TVX_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "web browser with a controlled, resumable downloader")
set(CPACK_PACKAGE_DESCRIPTION
    "A small web browser built around a download list: a tree of folders and\n"
    "links, each naming a file on the web and the place it is kept on disk. One\n"
    "command checks every link against its server and downloads what is new,\n"
    "changed or incomplete, and a broken download continues where it stopped.\n"
    "\n"
    "The commands tvx-get (one file) and tvx-session (a whole list) do the same\n"
    "without a window, for scripts, cron and systemd timers.")
string(CONCAT CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.tarvex.de/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window needs a platform plugin, which the Qt libraries only recommend,
# and draws its pictures (SVG files) partly through the SVG icon engine plugin,
# which nothing links: libqt6svg6 holds it beside the library.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
# The toolkit's own German texts (standard buttons, file and print dialogs)
# for a German window; without them those stay English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The Chromium host manifest lies in /etc: a configuration file to dpkg.
file(WRITE ${CMAKE_BINARY_DIR}/conffiles "/etc/chromium/native-messaging-hosts/de.tarvex.tvx.json\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/conffiles)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
