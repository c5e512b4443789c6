# What the Windows build (cmake --preset windows, mingw-w64 i686) takes from
# the system. zlib is Debian's libz-mingw-w64-dev, linked statically; CLI11 is
# header-only, so the host's copy serves, copied into the build tree because
# /usr/include itself must not come before the cross compiler's headers.
# Regions (GDI), PNG pictures (WIC), files, processes and the shell are the
# platform's own.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)

# liblzma (LZMA-compressed movies). Debian has none for mingw-w64, so unless
# the toolchain's root has one, it is built here as a static library from
# Debian's source package of xz-utils, the version of the Linux build's
# liblzma-dev, so both systems decode with the same library. scripts/setup.sh
# downloads the tarball into .deps/ and checks it against a pinned checksum.
# This comes before the compile definitions below, which are the project's own.
find_package(LibLZMA QUIET)
if(LibLZMA_FOUND)
  # Static linking needs the API declared without dllimport.
  if(LIBLZMA_LIBRARY MATCHES "\\.a$" AND NOT LIBLZMA_LIBRARY MATCHES "\\.dll\\.a$")
    set_property(TARGET LibLZMA::LibLZMA APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS LZMA_API_STATIC)
  endif()
else()
  set(vs_xz_version 5.4.1)
  set(vs_xz_tarball ${PROJECT_SOURCE_DIR}/.deps/xz-utils_${vs_xz_version}.orig.tar.xz)
  set(vs_xz_source ${CMAKE_BINARY_DIR}/xz-source/xz-${vs_xz_version})
  if(NOT EXISTS ${vs_xz_source}/CMakeLists.txt)
    if(NOT EXISTS ${vs_xz_tarball})
      message(FATAL_ERROR "The Windows build needs liblzma's source, ${vs_xz_tarball}, "
                          "which is missing: run scripts/setup.sh to download it.")
    endif()
    # Unpacked beside and then moved, so that an interrupted unpacking is not
    # taken for a finished one by the next configure.
    file(REMOVE_RECURSE ${CMAKE_BINARY_DIR}/xz-source.part)
    file(ARCHIVE_EXTRACT INPUT ${vs_xz_tarball} DESTINATION ${CMAKE_BINARY_DIR}/xz-source.part)
    if(NOT EXISTS ${CMAKE_BINARY_DIR}/xz-source.part/xz-${vs_xz_version}/CMakeLists.txt)
      message(FATAL_ERROR "${vs_xz_tarball} holds no xz-${vs_xz_version}/: run scripts/setup.sh again.")
    endif()
    file(REMOVE_RECURSE ${CMAKE_BINARY_DIR}/xz-source)
    file(RENAME ${CMAKE_BINARY_DIR}/xz-source.part ${CMAKE_BINARY_DIR}/xz-source)
  endif()
  # xz's own CMakeLists, for the library alone: static, no tests, and no xz or
  # xzdec programs (they are made only where getopt_long is found). It has no
  # translations. Excluded from "all": only what links liblzma builds it.
  set(BUILD_SHARED_LIBS OFF)
  set(BUILD_TESTING OFF)
  set(HAVE_GETOPT_LONG OFF)
  add_subdirectory(${vs_xz_source} ${CMAKE_BINARY_DIR}/xz EXCLUDE_FROM_ALL SYSTEM)
  unset(BUILD_SHARED_LIBS)
  unset(BUILD_TESTING)
  unset(HAVE_GETOPT_LONG)
  target_include_directories(liblzma SYSTEM INTERFACE $<BUILD_INTERFACE:${vs_xz_source}/src/liblzma/api>)
  target_compile_definitions(liblzma INTERFACE LZMA_API_STATIC)
  # Its warnings are upstream's, not ours to act on.
  target_compile_options(liblzma PRIVATE -w)
  add_library(LibLZMA::LibLZMA ALIAS liblzma)
  message(STATUS "liblzma ${vs_xz_version}: built here from ${vs_xz_tarball}")
endif()

find_path(VS_CLI11_INCLUDE_DIR CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
file(COPY ${VS_CLI11_INCLUDE_DIR}/CLI DESTINATION ${CMAKE_BINARY_DIR}/cli11)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/cli11)

# Windows 7 and later; UTF-16 entry points of the system; no min/max macros.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)

# The unit tests and the build-time helpers run under wine: one prefix in the
# build tree, made by the first run (cmake/wine_run.sh). Without wine the
# script reports 77, which the tests count as skipped.
set(VS_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/wine_run.sh ${VS_WINEPREFIX})
set(VS_SKIP_RETURN_CODE 77)

set(VS_BUILD_BENCH OFF)
set(VS_BUILD_FUZZ OFF)
