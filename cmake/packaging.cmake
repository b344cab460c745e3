# What `cmake --install` puts where on Linux, and the Debian package that
# CPack builds from it (scripts/package.sh):
#   bin/valmora-panel, bin/valmora-ctl          (src/app/, src/ctl/CMakeLists.txt)
#   share/applications/valmora-panel.desktop
#   share/icons/hicolor/<N>x<N>/apps/valmora-panel.png (16 to 256 px)
#   share/man/man1/valmora-panel.1.gz, valmora-ctl.1.gz
#   share/doc/valmora-panel/{copyright,changelog.gz}
include(GNUInstallDirs)

# Windows: the zip and the installer.
if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/windows-packaging.cmake)
    return()
endif()
if(NOT UNIX OR APPLE)
    return()
endif()

set(VALMORA_RESOURCES ${PROJECT_SOURCE_DIR}/resources)
set(VALMORA_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)

install(FILES ${VALMORA_RESOURCES}/valmora-panel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The application icon at each size, all from the same Tango picture (see
# resources/SOURCES.md); the 32 and 64 px ones are the window's own
# games.png and games@2x.png.
foreach(entry
        "16:icons/valmora-panel-16.png"
        "32:games.png"
        "48:icons/valmora-panel-48.png"
        "64:games@2x.png"
        "128:valmora-panel.png"
        "256:icons/valmora-panel-256.png")
    string(REPLACE ":" ";" entry "${entry}")
    list(GET entry 0 size)
    list(GET entry 1 file)
    install(FILES ${VALMORA_RESOURCES}/${file}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME valmora-panel.png)
endforeach()

# The manual pages carry the version; they and the changelog go in
# compressed, without a time stamp in the gzip header, as Debian wants them.
set(VALMORA_GZ_DIR ${CMAKE_BINARY_DIR}/packaging)
configure_file(${VALMORA_PACKAGING}/valmora-panel.1.in ${VALMORA_GZ_DIR}/source/valmora-panel.1 @ONLY)
configure_file(${VALMORA_PACKAGING}/valmora-ctl.1.in ${VALMORA_GZ_DIR}/source/valmora-ctl.1 @ONLY)
configure_file(${VALMORA_PACKAGING}/changelog ${VALMORA_GZ_DIR}/source/changelog COPYONLY)
set(VALMORA_GZ_FILES)
foreach(name valmora-panel.1 valmora-ctl.1 changelog)
    add_custom_command(
        OUTPUT ${VALMORA_GZ_DIR}/${name}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${VALMORA_GZ_DIR}/source/${name} ${VALMORA_GZ_DIR}/${name}
        COMMAND gzip -9 -n -f ${VALMORA_GZ_DIR}/${name}
        DEPENDS ${VALMORA_GZ_DIR}/source/${name}
        COMMENT "Compressing ${name}"
        VERBATIM)
    list(APPEND VALMORA_GZ_FILES ${VALMORA_GZ_DIR}/${name}.gz)
endforeach()
add_custom_target(valmora-packaging-files ALL DEPENDS ${VALMORA_GZ_FILES})

install(FILES ${VALMORA_GZ_DIR}/valmora-panel.1.gz ${VALMORA_GZ_DIR}/valmora-ctl.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VALMORA_PACKAGING}/copyright ${VALMORA_GZ_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: valmora-panel_<version>_<arch>.deb in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME valmora-panel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Valmora panel developers")
set(CPACK_PACKAGE_CONTACT "Valmora panel developers <dev@panel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "control panel for game servers rented from Valmora")
set(CPACK_PACKAGE_DESCRIPTION
    "Valmora Server Control keeps a list of game servers rented from the
Valmora hosting service, each with the API key the service issued for it.
It shows the selected server's state, address, map, players and resource
use, starts, stops and restarts it, changes its map and sends console
commands. The window refreshes itself every 60 seconds and hides to the
system tray. The interface is in Russian.
.
valmora-ctl does the same from the command line, on the same settings
file, for scripts, timers and monitoring checks.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://panel.example/")
# Depends computed by dpkg-shlibdeps from the libraries the program links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its window system plugins at run time; its own library only
# recommends them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins")
include(CPack)
