# Run at install time on the Windows build (cmake/windows-packaging.cmake):
# puts beside the installed programs every DLL they load that is not
# Windows' own, and strips all of them.
#
# CMake reads the import tables (objdump) of the installed .exe and .dll
# files and of every DLL they bring in. A DLL found in one of
# VALMORA_DEPLOY_DLL_DIRS is copied; any other must be a DLL of Windows
# itself. Where Wine is installed its DLLs stand for Windows' own, and a name
# that is neither ours nor Wine's fails the install instead of shipping a
# program that cannot start.
#
# Qt SQL opens its drivers at run time, so no import table names them: where
# the programs load Qt6Sql.dll, the SQLite driver goes into sqldrivers/ too
# (SQLite is linked into it), and its own imports are deployed as well.
#
# Expects VALMORA_DEPLOY_OBJDUMP, VALMORA_DEPLOY_STRIP, VALMORA_DEPLOY_DLL_DIRS,
# VALMORA_DEPLOY_PLUGIN_DIR (Qt's plugins) and VALMORA_DEPLOY_LINK_DIR, a
# scratch folder (set by install(CODE) before this script).

set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(wine_dlls /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)

# CMake looks a DLL up under its name in lower case, which a file system
# that tells case apart does not find ("qt6core.dll" for Qt6Core.dll). A
# folder of lower-case links to the DLLs lets it resolve them.
set(links "${VALMORA_DEPLOY_LINK_DIR}")
file(REMOVE_RECURSE "${links}")
file(MAKE_DIRECTORY "${links}")
foreach(dir IN LISTS VALMORA_DEPLOY_DLL_DIRS)
    file(GLOB dlls LIST_DIRECTORIES false "${dir}/*.dll")
    foreach(dll IN LISTS dlls)
        get_filename_component(name "${dll}" NAME)
        string(TOLOWER "${name}" name)
        if(NOT EXISTS "${links}/${name}")
            file(CREATE_LINK "${dll}" "${links}/${name}" SYMBOLIC)
        endif()
    endforeach()
endforeach()

set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND "${VALMORA_DEPLOY_OBJDUMP}")
# Copies the DLLs that the given installed binaries import ("<exes>" and
# "<dlls>" are lists); appends the names left to Windows to "system".
function(deploy_imports executables libraries)
    file(GET_RUNTIME_DEPENDENCIES
         EXECUTABLES ${executables}
         LIBRARIES ${libraries}
         DIRECTORIES "${links}"
         RESOLVED_DEPENDENCIES_VAR ours
         UNRESOLVED_DEPENDENCIES_VAR unresolved
         # API sets are names, not files: Windows maps them to its own DLLs.
         PRE_EXCLUDE_REGEXES "^(api|ext)-ms-")
    foreach(link IN LISTS ours)
        file(REAL_PATH "${link}" dll)
        get_filename_component(name "${dll}" NAME)
        if(NOT EXISTS "${root}/${name}")
            message(STATUS "Deploying: ${name}")
            file(COPY "${dll}" DESTINATION "${root}")
        endif()
    endforeach()
    list(APPEND system ${unresolved})
    list(REMOVE_DUPLICATES system)
    set(system "${system}" PARENT_SCOPE)
endfunction()

set(system)
file(GLOB_RECURSE executables LIST_DIRECTORIES false "${root}/*.exe")
file(GLOB_RECURSE libraries LIST_DIRECTORIES false "${root}/*.dll")
deploy_imports("${executables}" "${libraries}")
# The driver alone is read then: CMake would find each DLL copied beside the
# programs twice, there and in the links.
if(EXISTS "${root}/Qt6Sql.dll")
    message(STATUS "Deploying: sqldrivers/qsqlite.dll")
    file(COPY "${VALMORA_DEPLOY_PLUGIN_DIR}/sqldrivers/qsqlite.dll" DESTINATION "${root}/sqldrivers")
    deploy_imports("" "${root}/sqldrivers/qsqlite.dll")
endif()

if(IS_DIRECTORY "${wine_dlls}")
    foreach(name IN LISTS system)
        if(NOT EXISTS "${wine_dlls}/${name}")
            message(FATAL_ERROR "A program needs ${name}, which is neither in ${VALMORA_DEPLOY_DLL_DIRS} "
                                "nor a DLL of Windows")
        endif()
    endforeach()
endif()
list(SORT system)
message(STATUS "Left to Windows: ${system}")
file(REMOVE_RECURSE "${links}")

# Debian's MinGW runtime DLLs come with their symbols (libstdc++ alone is
# 24 MB); the programs keep theirs until here.
file(GLOB_RECURSE binaries LIST_DIRECTORIES false "${root}/*.exe" "${root}/*.dll")
foreach(binary IN LISTS binaries)
    execute_process(COMMAND "${VALMORA_DEPLOY_STRIP}" --strip-unneeded "${binary}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "cannot strip ${binary}")
    endif()
endforeach()
