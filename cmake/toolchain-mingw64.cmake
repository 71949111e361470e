# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads); tests run under Wine.
include("${CMAKE_CURRENT_LIST_DIR}/mingw64-compilers.cmake")

# No runtime DLLs to ship next to the programs: Wine (and a user's machine) finds none missing.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Windows programs built here run through Wine, in a prefix kept in the build folder.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
