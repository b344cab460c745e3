# Run at install time on the Windows build (cmake/windows-packaging.cmake):
# puts beside the installed programs every DLL they load that is not
# Windows' own, and strips all of them.
#
# The DLLs are read from the binaries themselves: the import table of each
# installed .exe and .dll (objdump -p), and of each DLL this brings in, in
# turn. A name found in one of VALMORA_DEPLOY_DLL_DIRS is copied; any other
# name must be a DLL of Windows itself. Where Wine is installed its DLLs
# stand for Windows' own, and a name that is neither ours nor Wine's fails
# the install instead of shipping a program that cannot start.
#
# Expects VALMORA_DEPLOY_OBJDUMP, VALMORA_DEPLOY_STRIP and
# VALMORA_DEPLOY_DLL_DIRS (set by install(CODE) before this script).

cmake_policy(PUSH)
cmake_policy(SET CMP0057 NEW) # if(... IN_LIST ...)

set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(wine_dlls /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)

# The DLL names that a PE file imports.
function(imported_dlls file out)
    execute_process(COMMAND "${VALMORA_DEPLOY_OBJDUMP}" -p "${file}"
                    OUTPUT_VARIABLE dump RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "objdump cannot read ${file}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
    set(names)
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "^DLL Name: " "" name "${line}")
        string(STRIP "${name}" name)
        list(APPEND names "${name}")
    endforeach()
    set(${out} "${names}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE queue LIST_DIRECTORIES false "${root}/*.exe" "${root}/*.dll")
set(seen)
set(system)
while(queue)
    list(POP_FRONT queue file)
    imported_dlls("${file}" names)
    foreach(name IN LISTS names)
        string(TOLOWER "${name}" key)
        if(key IN_LIST seen)
            continue()
        endif()
        list(APPEND seen "${key}")
        if(EXISTS "${root}/${name}")
            continue()
        endif()
        set(found)
        foreach(dir IN LISTS VALMORA_DEPLOY_DLL_DIRS)
            if(EXISTS "${dir}/${name}")
                set(found "${dir}/${name}")
                break()
            endif()
        endforeach()
        if(found)
            message(STATUS "Deploying: ${name} (for ${file})")
            file(COPY "${found}" DESTINATION "${root}")
            list(APPEND queue "${root}/${name}")
        elseif(IS_DIRECTORY "${wine_dlls}" AND NOT EXISTS "${wine_dlls}/${key}"
               AND NOT key MATCHES "^(api|ext)-ms-")
            message(FATAL_ERROR "${file} needs ${name}, which is neither in ${VALMORA_DEPLOY_DLL_DIRS} "
                                "nor a DLL of Windows")
        else()
            list(APPEND system "${name}")
        endif()
    endforeach()
endwhile()
list(SORT system CASE INSENSITIVE)
message(STATUS "Left to Windows: ${system}")

# Debian's MinGW runtime DLLs come with their symbols (libstdc++ alone is
# 24 MB); the programs keep theirs until here.
file(GLOB_RECURSE binaries LIST_DIRECTORIES false "${root}/*.exe" "${root}/*.dll")
foreach(binary IN LISTS binaries)
    execute_process(COMMAND "${VALMORA_DEPLOY_STRIP}" --strip-unneeded "${binary}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "cannot strip ${binary}")
    endif()
endforeach()
cmake_policy(POP)
