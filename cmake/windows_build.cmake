# The Windows build driven by the Linux build: the same sources, configured
# with the mingw-w64 toolchain into ${CMAKE_BINARY_DIR}/windows and built on
# every build, so that one `cmake --build` leaves the Windows programs, their
# Tools folder and their unit tests in the build tree as well. The Linux build
# takes its Tools folder (bin/tools/) from there, and its CTest runs the
# Windows tests under wine (skipped, with a message, without wine).
#
# Expects VS_ENGINE_ICON (the engine's icon drawn by the host program) and a
# target vs_engine_icon that makes it.
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
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw-i686.cmake
    -DCMAKE_BUILD_TYPE=Release
    -DVS_ENGINE_ICON=${VS_ENGINE_ICON}
    ${windows_launchers}
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${VS_WINDOWS_BINARY_DIR} ${windows_jobs}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_directory ${VS_WINDOWS_BINARY_DIR}/bin/tools ${VS_TOOLS_DIR}
  DEPENDS vs_engine_icon
  USES_TERMINAL_BUILD ON)

add_custom_target(vs_tools ALL DEPENDS vs_windows)
