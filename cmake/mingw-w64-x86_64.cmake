# Cross-builds the core, the pages, tamsu-cli.exe and tamsu-sim.exe for 64-bit Windows with
# Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix: the POSIX thread model, which std::thread
# needs). Everything is linked statically, so each .exe runs with no DLL beside it.
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DTAMSU_CORE_ONLY=ON
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAMSU_MINGW x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${TAMSU_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAMSU_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TAMSU_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAMSU_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Programs built here run on this machine under Wine (test discovery, the tests themselves).
find_program(TAMSU_WINE wine)
if(TAMSU_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAMSU_WINE})
endif()
