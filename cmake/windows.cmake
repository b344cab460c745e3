# The Windows build: where the DLLs that the programs need at run time are,
# and how the tests run under Wine when the build is made on Linux.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DVALMORA_WINDOWS_SDK="$(scripts/windows-sdk.sh | tail -n 1)"
#
# VALMORA_WINDOWS_DLL_DIRS   folders of the DLLs: Qt's, OpenSSL's and the
#                            MinGW-w64 runtime's (libstdc++, libgcc, winpthread)
# VALMORA_QT_PLUGIN_DIR      Qt's plugins (platforms/, styles/, tls/, ...)
# VALMORA_TEST_ENVIRONMENT   what a test needs besides the emulator
# valmora_program_path(out path)
#                            a file of the build machine as a Windows program
#                            run by the emulator names it

if(VALMORA_WINDOWS_SDK)
    set(VALMORA_QT_PLUGIN_DIR "${VALMORA_WINDOWS_SDK}/qt/plugins")
    set(VALMORA_WINDOWS_DLL_DIRS "${VALMORA_WINDOWS_SDK}/qt/bin" "${VALMORA_WINDOWS_SDK}/openssl/bin")
else()
    # Qt found some other way: its DLLs sit beside its plugins' folder.
    get_target_property(valmora_qtcore_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
    get_filename_component(valmora_qt_bin "${valmora_qtcore_dll}" DIRECTORY)
    get_filename_component(VALMORA_QT_PLUGIN_DIR "${valmora_qt_bin}/../plugins" ABSOLUTE)
    set(VALMORA_WINDOWS_DLL_DIRS "${valmora_qt_bin}")
endif()

# The compiler's own runtime DLLs, wherever this compiler keeps them.
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE valmora_runtime_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${valmora_runtime_dll}" AND EXISTS "${valmora_runtime_dll}")
        get_filename_component(valmora_runtime_dll "${valmora_runtime_dll}" REALPATH)
        get_filename_component(valmora_runtime_dir "${valmora_runtime_dll}" DIRECTORY)
        list(APPEND VALMORA_WINDOWS_DLL_DIRS "${valmora_runtime_dir}")
    endif()
endforeach()
list(REMOVE_DUPLICATES VALMORA_WINDOWS_DLL_DIRS)

set(VALMORA_TEST_ENVIRONMENT)
if(CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX)
    # The tests are Windows programs: CTest starts them through Wine.
    if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
        find_program(VALMORA_WINE NAMES wine wine64 REQUIRED)
        set(CMAKE_CROSSCOMPILING_EMULATOR "${VALMORA_WINE}")
    endif()
    # A Wine folder of the build's own, so that nothing of the user's is used
    # or changed.
    set(VALMORA_WINEPREFIX "${CMAKE_BINARY_DIR}/wine" CACHE PATH "The Wine folder the tests run in")

    # Wine shows the build machine's whole file system as drive Z:.
    function(valmora_program_path out path)
        set(${out} "Z:${path}" PARENT_SCOPE)
    endfunction()

    set(valmora_winepath)
    foreach(dir IN LISTS VALMORA_WINDOWS_DLL_DIRS)
        valmora_program_path(dir "${dir}")
        list(APPEND valmora_winepath "${dir}")
    endforeach()
    # Wine hands no variable that starts with QT_ to a Windows program; it
    # hands WINEQT_X on as QT_X instead. Without FORCE_STDERR_LOGGING Qt
    # sends its messages (QTest's report among them) to the debugger only.
    # The DLLs are found through the search path (WINEPATH), so that a test
    # may copy a program elsewhere and still start it.
    string(REPLACE ";" "\\;" valmora_winepath "${valmora_winepath}")
    set(VALMORA_TEST_ENVIRONMENT
        "WINEPREFIX=${VALMORA_WINEPREFIX}"
        "WINEDEBUG=-all"
        "WINEDLLOVERRIDES=mscoree,mshtml="
        "WINEPATH=${valmora_winepath}"
        "WINEQT_QPA_PLATFORM=offscreen"
        "WINEQT_FORCE_STDERR_LOGGING=1")
    # The offscreen platform looks for fonts in Qt's own folder, which has
    # none; the build machine's DejaVu fonts give text its true size.
    if(IS_DIRECTORY /usr/share/fonts/truetype/dejavu)
        list(APPEND VALMORA_TEST_ENVIRONMENT "WINEQT_QPA_FONTDIR=Z:/usr/share/fonts/truetype/dejavu")
    endif()
else()
    function(valmora_program_path out path)
        set(${out} "${path}" PARENT_SCOPE)
    endfunction()
endif()
