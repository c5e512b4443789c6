# What the Windows build (cmake --preset windows, mingw-w64 i686) takes from
# the system. zlib is Debian's libz-mingw-w64-dev, linked statically; CLI11 is
# header-only, so the host's copy serves, copied into the build tree because
# /usr/include itself must not come before the cross compiler's headers.
# Regions (GDI), PNG pictures (WIC), files, processes and the shell are the
# platform's own.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)

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
