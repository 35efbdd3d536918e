# Cross build for 32-bit Windows with mingw-w64 (posix thread model), run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KX_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${KX_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KX_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${KX_TRIPLE}-windres)
set(CMAKE_AR           ${KX_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       ${KX_TRIPLE}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${KX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

find_program(KX_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KX_WINE})

# Every executable runs alone: no libgcc, libstdc++ or winpthread DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
