# What `cmake --install` puts where on Windows, and the two packages that
# CPack makes from it (scripts/windows-package.sh):
#   valmora-panel-<version>-win64.zip        a portable folder of that name
#   valmora-panel-<version>-win64-setup.exe  an installer (NSIS) for all users
#
# Installed folder, both alike:
#   valmora-panel.exe (valmora-ctl.exe and its windowless twin valmora-ctlw.exe
#   where that program is built)
#   the DLLs they load: Qt's, the MinGW-w64 runtime's (cmake/windows-deploy.cmake)
#   platforms/qwindows.dll, styles/qwindowsvistastyle.dll, tls/qopensslbackend.dll
#   sqldrivers/qsqlite.dll (SQLite inside) where they load Qt6Sql.dll
#   libssl-3-x64.dll, libcrypto-3-x64.dll (loaded by the TLS plugin)
#   LICENSE, ПРОЧТИ.txt (a short read-me in Russian)

set(VALMORA_WINDOWS_PACKAGING ${PROJECT_SOURCE_DIR}/packaging/windows)

install(TARGETS valmora-panel RUNTIME DESTINATION .)
if(TARGET valmora-ctl)
    install(TARGETS valmora-ctl valmora-ctlw RUNTIME DESTINATION .)
endif()

# Plugins are loaded at run time, so no import table names them: the window
# system, the native look of the widgets, and TLS through OpenSSL (the only
# TLS backend shipped). Qt looks for them in folders beside the program.
foreach(plugin platforms/qwindows.dll styles/qwindowsvistastyle.dll tls/qopensslbackend.dll)
    get_filename_component(folder ${plugin} DIRECTORY)
    install(FILES ${VALMORA_QT_PLUGIN_DIR}/${plugin} DESTINATION ${folder})
endforeach()

# Qt's OpenSSL plugin loads OpenSSL by name when TLS is first used.
find_file(VALMORA_LIBSSL_DLL libssl-3-x64.dll PATHS ${VALMORA_WINDOWS_DLL_DIRS} NO_DEFAULT_PATH REQUIRED)
find_file(VALMORA_LIBCRYPTO_DLL libcrypto-3-x64.dll PATHS ${VALMORA_WINDOWS_DLL_DIRS} NO_DEFAULT_PATH REQUIRED)
install(FILES ${VALMORA_LIBSSL_DLL} ${VALMORA_LIBCRYPTO_DLL} DESTINATION .)

# The read-me names the version.
configure_file("${VALMORA_WINDOWS_PACKAGING}/ПРОЧТИ.txt.in" "${CMAKE_BINARY_DIR}/packaging/ПРОЧТИ.txt" @ONLY
               NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE "${CMAKE_BINARY_DIR}/packaging/ПРОЧТИ.txt" DESTINATION .)

# Last: every DLL the installed binaries import (and the SQLite driver where
# they import Qt SQL), then strip them all.
install(CODE "
    set(VALMORA_DEPLOY_OBJDUMP \"${CMAKE_OBJDUMP}\")
    set(VALMORA_DEPLOY_STRIP \"${CMAKE_STRIP}\")
    set(VALMORA_DEPLOY_DLL_DIRS \"${VALMORA_WINDOWS_DLL_DIRS}\")
    set(VALMORA_DEPLOY_PLUGIN_DIR \"${VALMORA_QT_PLUGIN_DIR}\")
    set(VALMORA_DEPLOY_LINK_DIR \"${CMAKE_BINARY_DIR}/deploy-dll-links\")
")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/windows-deploy.cmake)

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME valmora-panel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Valmora panel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Control panel for game servers rented from Valmora")
set(CPACK_PACKAGE_FILE_NAME valmora-panel-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Valmora Server Control")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "valmora-panel")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# The zip holds one folder named like the file.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The installer's own name ends in -setup (cmake/windows-cpack-options.cmake).
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/windows-cpack-options.cmake)

# The installer: a 64-bit program itself (makensis makes a 32-bit one
# unless told), into Program Files for all users, with a Start-menu entry
# and an uninstaller; the Uninstall key carries the version, publisher,
# icon and size, so that the installed programs list shows them. Each
# user's setting.ini is in the profile (the installed folder is closed to
# users), which neither the uninstaller nor an upgrade touches: they remove
# only the files installed.
# The installed folder goes on the system's search path, so that
# valmora-ctl is found from any console (packaging/windows/path.nsh; CPack's
# own PATH option would add a bin folder, and may cut a long PATH short).
# (NSIS takes single quotes too; double ones do not survive CPack's escaping.)
set(CPACK_NSIS_DEFINES "Target amd64-unicode\n!include '${VALMORA_WINDOWS_PACKAGING}/path.nsh'")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "Call ValmoraAddToPath")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "Call un.ValmoraRemoveFromPath")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "Valmora Server Control")
set(CPACK_NSIS_DISPLAY_NAME "Valmora Server Control ${PROJECT_VERSION}")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_PACKAGE_EXECUTABLES valmora-panel "Valmora Server Control")
set(CPACK_NSIS_INSTALLED_ICON_NAME valmora-panel.exe)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/valmora-panel.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/valmora-panel.ico)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_URL_INFO_ABOUT "https://panel.example/")
set(CPACK_NSIS_CONTACT "Valmora panel developers <dev@panel.example>")
include(CPack)
