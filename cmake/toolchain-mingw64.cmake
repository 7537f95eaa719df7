# 64-bit Windows build of the same tree, only to run the test suites under wine64 where
# the kernel cannot run 32-bit programs (the product itself is the 32-bit build).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# It talks only to emulated drivers (see platform/buffer_address.h).
set(VF_EMULATED_DRIVERS_ONLY ON)
# Tests run under Wine through CTest.
set(VF_WINE ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
if(EXISTS ${VF_WINE})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VF_WINE})
endif()
