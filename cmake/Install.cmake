# Installation into the desktop (program, desktop entry, icons, AppStream
# metadata) and the Debian package made from it with cpack.
include(GNUInstallDirs)

# The name under which the desktop knows the program: desktop entry, icon and metadata.
set(PARVOX_ID example.quillfern.Parvox)
set(PARVOX_HOMEPAGE https://www.quillfern.example/parvox)

set(PARVOX_DESKTOP_DIR ${CMAKE_CURRENT_BINARY_DIR}/desktop)
configure_file(resources/${PARVOX_ID}.desktop.in ${PARVOX_DESKTOP_DIR}/${PARVOX_ID}.desktop @ONLY)
configure_file(resources/${PARVOX_ID}.metainfo.xml.in ${PARVOX_DESKTOP_DIR}/${PARVOX_ID}.metainfo.xml
               @ONLY)

# The icons are drawn from the logo. The logo is 222 x 234, a little narrower
# than high: it is centred on a square page of its height, kept as vectors for
# the scalable icon and drawn again from there at 48 x 48.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(PARVOX_LOGO ${CMAKE_CURRENT_SOURCE_DIR}/resources/logo.svg)
set(PARVOX_ICON_SVG ${PARVOX_DESKTOP_DIR}/${PARVOX_ID}.svg)
set(PARVOX_ICON_PNG ${PARVOX_DESKTOP_DIR}/${PARVOX_ID}.png)
add_custom_command(
    OUTPUT ${PARVOX_ICON_SVG}
    COMMAND ${RSVG_CONVERT} --format svg --page-width 234 --page-height 234 --left 6
            --output ${PARVOX_ICON_SVG} ${PARVOX_LOGO}
    DEPENDS ${PARVOX_LOGO}
    COMMENT "Drawing the scalable icon"
    VERBATIM)
add_custom_command(
    OUTPUT ${PARVOX_ICON_PNG}
    COMMAND ${RSVG_CONVERT} --format png --width 48 --height 48 --output ${PARVOX_ICON_PNG}
            ${PARVOX_ICON_SVG}
    DEPENDS ${PARVOX_ICON_SVG}
    COMMENT "Drawing the 48 x 48 icon"
    VERBATIM)
add_custom_target(parvox_icons ALL DEPENDS ${PARVOX_ICON_SVG} ${PARVOX_ICON_PNG})

install(TARGETS parvox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PARVOX_DESKTOP_DIR}/${PARVOX_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PARVOX_DESKTOP_DIR}/${PARVOX_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PARVOX_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PARVOX_ICON_PNG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)

# cpack -G DEB makes parvox_<version>_<arch>.deb; dpkg-shlibdeps finds the
# libraries it needs.
set(CPACK_PACKAGE_NAME parvox)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quillfern)
set(CPACK_PACKAGE_CONTACT "Quillfern <parvox@quillfern.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PACKAGE_DESCRIPTION
    "Parvox cuts a file that is too big for one medium or one transfer into
numbered pieces (name.001, name.002, ...) and joins the pieces back into the
whole file. It also compares two files byte for byte and computes a file's
checksum, so that a rebuilt file can be proved equal to its source.")
set(CPACK_PACKAGE_HOMEPAGE_URL ${PARVOX_HOMEPAGE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The windows are laid out for these fonts; without them texts may be clipped.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, fonts-dejavu-core")
include(CPack)
