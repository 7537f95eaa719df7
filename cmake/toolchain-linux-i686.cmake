# 32-bit x86 Linux build of the portable suites, run under qemu-i386 (user-mode emulation),
# so that every machine checks what differs on 32 bits (pointer and size_t width, 32-bit
# layouts, floating point) whether or not its kernel runs 32-bit programs. The tree's
# CMakeLists gives it the same floating-point flags as the 32-bit Windows tree.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
find_program(VF_QEMU_I386 qemu-i386 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VF_QEMU_I386})
