# Cross build of the 32-bit Windows program with Debian's MinGW-w64.
#
# Thread model: the "-posix" compiler variant. lumivo.exe itself needs no
# C++ threads: the scanner's reader starts with the C runtime's
# _beginthreadex. The checker server and the Windows test of the
# Winsock exchange use std::thread, which the default "-win32" variant
# lacks. Everything is linked statically, so no program needs a DLL beside it.
#
# toolchain-mingw-x86_64.cmake includes this file after naming another
# processor: the same program as 64-bit code, for hosts whose kernel cannot
# run 32-bit programs and so cannot run 32-bit Wine (the tests then run under
# 64-bit Wine). Shops get the 32-bit program.
if(NOT LUMIVO_MINGW_ARCH)
    set(LUMIVO_MINGW_ARCH i686)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${LUMIVO_MINGW_ARCH})

set(LUMIVO_MINGW_PREFIX ${LUMIVO_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${LUMIVO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LUMIVO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${LUMIVO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${LUMIVO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Cross-built tests run under Wine in the test prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/support/wine-run.sh)
