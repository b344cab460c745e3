# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 compilers
# (scripts/install-windows-deps.sh installs them). The posix thread model:
# Qt 6 needs std::thread and std::mutex.
#
# The Windows builds of Qt, OpenSSL and SQLite (scripts/windows-sdk.sh) live
# in one folder, <sdk>/qt, <sdk>/openssl and <sdk>/sqlite. Name it with
# -DVALMORA_WINDOWS_SDK=<sdk> or the environment variable of the same name;
# the same file serves building Qt itself and then the program against it:
#   cmake -S . -B build-windows \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DVALMORA_WINDOWS_SDK="$(scripts/windows-sdk.sh | tail -n 1)"

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VALMORA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VALMORA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VALMORA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VALMORA_MINGW_TRIPLET}-windres)

if(NOT VALMORA_WINDOWS_SDK AND DEFINED ENV{VALMORA_WINDOWS_SDK})
    set(VALMORA_WINDOWS_SDK "$ENV{VALMORA_WINDOWS_SDK}")
endif()
set(VALMORA_WINDOWS_SDK "${VALMORA_WINDOWS_SDK}" CACHE PATH
    "Folder with the Windows builds of Qt (qt/), OpenSSL (openssl/) and SQLite (sqlite/)")
# The compiler checks (try_compile) read this file again in projects of
# their own: hand the folder on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VALMORA_WINDOWS_SDK)

# Libraries, headers and CMake packages come from the MinGW-w64 target root
# and the SDK; programs (moc, rcc, perl, ...) are the build machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/${VALMORA_MINGW_TRIPLET})
if(VALMORA_WINDOWS_SDK)
    list(APPEND CMAKE_FIND_ROOT_PATH
         "${VALMORA_WINDOWS_SDK}/qt" "${VALMORA_WINDOWS_SDK}/openssl" "${VALMORA_WINDOWS_SDK}/sqlite")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
