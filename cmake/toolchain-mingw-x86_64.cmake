# The Windows program as 64-bit code, for running the Windows tests under
# 64-bit Wine where the host cannot run 32-bit programs. Everything else is
# as in the 32-bit toolchain.
set(LUMIVO_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-i686.cmake)
