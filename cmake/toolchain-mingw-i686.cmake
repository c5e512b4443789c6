# 32-bit Windows (mingw-w64 i686): the engine family of 32-bit players.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VS_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
