# Installation as a desktop application, and the Debian package.
include(GNUInstallDirs)

set(VELKIN_APP_ID "app.velkin.Velkin")
set(VELKIN_HOMEPAGE "https://velkin.app" CACHE STRING "The project's home page, named in the store metadata")

install(TARGETS velkin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS velkin_gui LIBRARY DESTINATION ${VELKIN_PRIVATE_LIBDIR})
install(DIRECTORY Help Samples Localization DESTINATION ${CMAKE_INSTALL_DATADIR}/velkin)
# A stripped install (the package's) also drops the compiler's notes, as Debian's own packages do.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(file bin/velkin ${VELKIN_PRIVATE_LIBDIR}/libvelkin-gui.so)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${file}\")
    endforeach()
  endif()")
install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME velkin)

set(packaging ${CMAKE_SOURCE_DIR}/packaging)
install(FILES ${packaging}/${VELKIN_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${packaging}/${VELKIN_APP_ID}.metainfo.xml.in ${CMAKE_BINARY_DIR}/${VELKIN_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${VELKIN_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging}/icons/${VELKIN_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256 512)
  install(FILES ${packaging}/icons/${VELKIN_APP_ID}-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${VELKIN_APP_ID}.png)
endforeach()
configure_file(${packaging}/copyright ${CMAKE_BINARY_DIR}/copyright @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velkin)
# A native Debian package carries a compressed changelog beside the copyright file.
set(changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND gzip -n -9 -c ${packaging}/changelog > ${changelog}
  DEPENDS ${packaging}/changelog)
add_custom_target(velkin_changelog ALL DEPENDS ${changelog})
install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velkin)

set(manual ${CMAKE_BINARY_DIR}/velkin.1.gz)
add_custom_command(OUTPUT ${manual}
  COMMAND gzip -n -9 -c ${packaging}/velkin.1 > ${manual}
  DEPENDS ${packaging}/velkin.1)
add_custom_target(velkin_manual ALL DEPENDS ${manual})
install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# cpack -G DEB in the build folder makes the package; dependencies come from
# the program's shared libraries through dpkg-shlibdeps. Qt loads its plugins
# by itself, so those are named here: the platform's, and the picture readers
# (WebP, TIFF and the others; SVG) without which such pictures show nowhere.
set(CPACK_PACKAGE_NAME velkin)
set(CPACK_PACKAGE_VENDOR "The Velkin developers")
set(CPACK_PACKAGE_CONTACT "The Velkin developers <developers@velkin.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Markdown editor that styles the source live as you type")
set(CPACK_PACKAGE_DESCRIPTION "Velkin edits Markdown documents whose source is styled live:\nheadings grow, code sits on coloured cards, tables become editable grids,\ntask items get checkboxes and pictures show in place. Documents export to\nHTML, PDF and RTF.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-image-formats-plugins, libqt6svg6, fonts-dejavu-core, fonts-noto-color-emoji")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VELKIN_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack adds maintainer scripts that run ldconfig for any library under /usr/lib,
# but the windows' library is private to the program (loaded by path, never
# linked against): the package is written again without them.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/packaging/WithoutLdconfig.cmake)
include(CPack)
