# 64-bit Windows (mingw-w64 x86_64): the generator, its window and installer,
# and the engine family of 64-bit players.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VS_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
