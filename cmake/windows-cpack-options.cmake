# Read by CPack for each package it makes on Windows: the installer's file
# is named apart from the zip's, which also names the folder inside the zip.
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()
