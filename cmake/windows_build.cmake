# The Windows build driven by the Linux build: the same sources, configured
# with the mingw-w64 x86_64 toolchain into ${CMAKE_BINARY_DIR}/windows and
# built on every build, so that one `cmake --build` leaves the 64-bit Windows
# programs, their unit tests and installer in the build tree as well. It takes
# this build's Tools folder (both engine families), so that both systems pack
# the same engines, and this build's CTest runs its tests under wine
# (tests/windows_tests.cmake lists them one by one).
include(ExternalProject)

# Also read by tests/ (a sibling folder of tools/, hence the cache).
set(VS_WINDOWS_BINARY_DIR ${CMAKE_BINARY_DIR}/windows CACHE INTERNAL "The Windows build driven by this one")
set(VS_WINDOWS_BUILD_JOBS "" CACHE STRING "Parallel jobs of the Windows build (empty: the build tool's own choice)")
set(windows_jobs)
if(VS_WINDOWS_BUILD_JOBS)
  set(windows_jobs -j ${VS_WINDOWS_BUILD_JOBS})
endif()
set(windows_launchers)
foreach(lang C CXX)
  if(CMAKE_${lang}_COMPILER_LAUNCHER)
    list(APPEND windows_launchers -DCMAKE_${lang}_COMPILER_LAUNCHER=${CMAKE_${lang}_COMPILER_LAUNCHER})
  endif()
endforeach()

ExternalProject_Add(vs_windows
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${VS_WINDOWS_BINARY_DIR}
  CMAKE_GENERATOR Ninja
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw-x86_64.cmake
    -DCMAKE_BUILD_TYPE=Release
    -DVS_ENGINE_ICON=${VS_ENGINE_ICON}
    -DVS_TOOLS_FROM=${VS_TOOLS_DIR}
    ${windows_launchers}
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${VS_WINDOWS_BINARY_DIR} ${windows_jobs}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  DEPENDS vs_engine32 vs_engine64
  USES_TERMINAL_BUILD ON)
