# Cross-compiling for Windows with Debian's mingw-w64, included by
# toolchain-mingw-x86_64.cmake (64-bit, the generator and the 64-bit engine
# family) and toolchain-mingw-i686.cmake (32-bit, the engine family of 32-bit
# players), which set VS_MINGW_TRIPLE. The posix thread model of g++ gives
# std::thread and std::mutex, which the packing batch and the variable service
# use. Everything links statically, so the programs need no runtime DLLs
# beside them.
set(CMAKE_SYSTEM_NAME Windows)
find_program(CMAKE_C_COMPILER NAMES ${VS_MINGW_TRIPLE}-gcc-posix ${VS_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VS_MINGW_TRIPLE}-g++-posix ${VS_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VS_MINGW_TRIPLE}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${VS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
