# One engine family (engine, hook library and tools) for one Windows
# architecture, built by a Windows configuration of its own that builds just
# the family, and copied into the Tools folder of this build: the i686 family
# into tools/, the x86_64 one into tools/x64/. Both use the Release settings
# that every engine has been built with, so the same sources give the same
# bytes.
#
# Expects VS_ENGINE_ICON (the engine's icon drawn by the host program) and a
# target vs_engine_icon that makes it.
include(ExternalProject)

function(vs_engine_family target arch)
  set(dir ${CMAKE_BINARY_DIR}/engine-${arch})
  ExternalProject_Add(${target}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw-${arch}.cmake
      -DCMAKE_BUILD_TYPE=Release
      -DVS_ENGINE_FAMILY_ONLY=ON
      -DVS_BUILD_TESTS=OFF
      -DVS_ENGINE_ICON=${VS_ENGINE_ICON}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_directory ${dir}/bin/tools ${VS_TOOLS_DIR}
    DEPENDS vs_engine_icon
    USES_TERMINAL_BUILD ON)
endfunction()
