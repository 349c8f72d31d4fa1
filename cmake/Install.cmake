# `cmake --install build --prefix P` lays the program out as a Linux desktop expects it, and
# `cpack -G DEB` (run in the build folder) packs the same into a .deb.
include(GNUInstallDirs)
set(PLATTERLY_APP_ID example.platterly.Platterly)
set(PLATTERLY_DATA ${PROJECT_SOURCE_DIR}/data)

install(TARGETS platterly RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET platterly-cli)
    install(TARGETS platterly-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# Found by the WMA runner in libexec (AppPaths: HelperToolDirs).
install(TARGETS platterly_wm8eutil RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/platterly)

install(FILES ${PLATTERLY_DATA}/${PLATTERLY_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PLATTERLY_DATA}/${PLATTERLY_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PLATTERLY_DATA}/icons/platterly.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${PLATTERLY_APP_ID}.svg)
foreach(size 48 128 256)
    install(FILES ${PLATTERLY_DATA}/icons/platterly-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${PLATTERLY_APP_ID}.png)
endforeach()
install(FILES ${PLATTERLY_DATA}/platterly.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(EXISTS ${PLATTERLY_DATA}/platterly-cli.1)
    install(FILES ${PLATTERLY_DATA}/platterly-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
# The manual and the pictures it shows; Help finds it here (AppPaths: ManualPath).
install(FILES ${PROJECT_SOURCE_DIR}/docs/Tracksmith.html ${PROJECT_SOURCE_DIR}/docs/screenshot-cddb.png
              ${PROJECT_SOURCE_DIR}/docs/screenshot-play.png
              ${PROJECT_SOURCE_DIR}/docs/screenshot-recorder.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/platterly)
# The demo disc, copied into the user's data folder on the first start (AppPaths:
# ProvideDemoDisc). Its presence in share/platterly also marks the program as installed.
install(FILES "${PLATTERLY_BIN_DIR}/discs/Platterly Demo.cue" "${PLATTERLY_BIN_DIR}/discs/Platterly Demo.bin"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/platterly/discs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME platterly)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Platterly developers <support@platterly.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Rip audio CDs and convert audio files")
set(CPACK_PACKAGE_DESCRIPTION
    "Platterly rips audio CDs and disc images to WAV, FLAC, Opus, MP3, Ogg Vorbis or WMA files,\n names them by hand or from CDDB, tags them, and converts, plays and records audio.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Besides the libraries it links: lame runs as a program, and the Ogg Vorbis libraries are
# opened at run time, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "lame, libogg0, libvorbis0a, libvorbisenc2, libvorbisfile3")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pavucontrol, xdg-utils")
include(CPack)
