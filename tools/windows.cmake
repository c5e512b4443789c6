# The Tools folder programs as targets of the Windows configuration, linked
# against the same vs_package and vs_platform libraries as the generator. The
# family is built for the toolchain's architecture: into tools/ for 32-bit
# players, into tools/x64/ for 64-bit ones.
#
# The full 64-bit build needs both families in its Tools folder. Driven by the
# Linux build it is handed the finished Tools folder (VS_TOOLS_FROM), so that
# both systems pack the very same engine; on its own it builds its family here
# and the 32-bit one in a configuration of its own (engine32/).
set(VS_TOOLS_FROM "" CACHE PATH "A finished Tools folder to take instead of building the engine family here")

# The portable rules of the engine and the tools.
file(GLOB engine_core_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/core/*.cpp)
add_library(vs_engine_core STATIC ${engine_core_sources})
target_include_directories(vs_engine_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(vs_engine_core PUBLIC vs_package ws2_32)

set(VS_TOOL_NAMES VSengine.exe mhproc.dll VSP.exe VSE.exe VSS.exe VSD.exe)
if(VS_TOOLS_FROM)
  set(taken)
  foreach(name ${VS_TOOL_NAMES})
    list(APPEND taken ${VS_TOOLS_DIR}/${name} ${VS_TOOLS_DIR}/${VS_TOOLS64_SUBDIR}/${name})
  endforeach()
  add_custom_target(vs_tools ALL
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${VS_TOOLS_FROM} ${VS_TOOLS_DIR}
    BYPRODUCTS ${taken}
    COMMENT "Taking the Tools folder from ${VS_TOOLS_FROM}")
  set(VS_TOOL_FILES ${taken} PARENT_SCOPE)
  return()
endif()

# The engine's icon is drawn by a program of this build. The Linux build that
# drives this one hands in the icon it drew (VS_ENGINE_ICON); on its own this
# build draws it under wine.
set(VS_ENGINE_ICON "" CACHE FILEPATH "The engine's icon, drawn by make_engine_icon; empty: draw it here")
if(VS_ENGINE_ICON)
  set(engine_icon ${VS_ENGINE_ICON})
else()
  find_program(VS_WINE wine)
  if(NOT VS_WINE)
    message(FATAL_ERROR "The engine's icon is drawn under wine, which is missing: install wine, or build through "
                        "the Linux build (cmake --preset default), or pass -DVS_ENGINE_ICON=<icon drawn by make_engine_icon>.")
  endif()
  add_executable(make_engine_icon make_engine_icon.cpp)
  target_link_libraries(make_engine_icon PRIVATE vs_exe)
  set(engine_icon ${CMAKE_CURRENT_BINARY_DIR}/engine.ico)
  add_custom_command(OUTPUT ${engine_icon}
    COMMAND make_engine_icon ${engine_icon}
    DEPENDS make_engine_icon
    COMMENT "Drawing the engine's icon (under wine)")
  add_custom_target(vs_engine_icon DEPENDS ${engine_icon})
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(family_dir ${VS_TOOLS_DIR}/${VS_TOOLS64_SUBDIR})
else()
  set(family_dir ${VS_TOOLS_DIR})
endif()
set(engine_icon_file ${engine_icon})
set(VS_ENGINE_ICON ${engine_icon})  # for engine.rc.in only; the cached value stays
# Every program of the family carries one application manifest.
set(VS_PROGRAM_MANIFEST ${CMAKE_CURRENT_SOURCE_DIR}/win32/program.manifest)
configure_file(engine/engine.rc.in ${CMAKE_CURRENT_BINARY_DIR}/engine.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/engine.rc PROPERTIES OBJECT_DEPENDS
                            "${engine_icon};${VS_PROGRAM_MANIFEST}")
configure_file(win32/program.rc.in ${CMAKE_CURRENT_BINARY_DIR}/program.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/program.rc PROPERTIES OBJECT_DEPENDS ${VS_PROGRAM_MANIFEST})

# The same sources give the same bytes: no link time in the headers.
set(vs_reproducible_link -Wl,--no-insert-timestamp)

function(vs_windows_tool name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} WIN32 ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE vs_engine_core ${arg_LIBRARIES})
  target_link_options(${name} PRIVATE -municode -s ${vs_reproducible_link})
  target_compile_options(${name} PRIVATE -municode)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${family_dir})
endfunction()

file(GLOB engine_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/engine/*.cpp)
vs_windows_tool(VSengine SOURCES ${engine_sources} ${CMAKE_CURRENT_BINARY_DIR}/engine.rc LIBRARIES gdi32 user32)
set(program_rc ${CMAKE_CURRENT_BINARY_DIR}/program.rc)
vs_windows_tool(VSS SOURCES vss/vss_main.cpp ${program_rc} LIBRARIES ws2_32 iphlpapi advapi32)
vs_windows_tool(VSE SOURCES vse/vse_main.cpp ${program_rc} LIBRARIES shell32 ole32)
vs_windows_tool(VSP SOURCES vsp/vsp_main.cpp ${program_rc} LIBRARIES comdlg32 gdi32 winspool)
vs_windows_tool(VSD SOURCES vsd/vsd_main.cpp ${program_rc} LIBRARIES shell32)

# The hook library exports its functions under their plain names.
add_library(mhproc SHARED mhproc/mhproc.c)
set_target_properties(mhproc PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${family_dir})
target_link_options(mhproc PRIVATE -Wl,--kill-at -s ${vs_reproducible_link})

add_custom_target(vs_tools ALL DEPENDS VSengine VSS VSE VSP VSD mhproc)
set(VS_TOOL_FILES $<TARGET_FILE:VSengine> $<TARGET_FILE:VSS> $<TARGET_FILE:VSE> $<TARGET_FILE:VSP> $<TARGET_FILE:VSD>
    $<TARGET_FILE:mhproc> PARENT_SCOPE)

# The full 64-bit build on its own: the family of 32-bit players as well.
if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND NOT VS_ENGINE_FAMILY_ONLY)
  include(ExternalProject)
  ExternalProject_Add(vs_engine32
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/engine32
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw-i686.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DVS_ENGINE_FAMILY_ONLY=ON
      -DVS_BUILD_TESTS=OFF
      -DVS_ENGINE_ICON=${engine_icon_file}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_BINARY_DIR}/engine32/bin/tools ${VS_TOOLS_DIR}
    USES_TERMINAL_BUILD ON)
  if(TARGET vs_engine_icon)
    add_dependencies(vs_engine32 vs_engine_icon)
  endif()
  add_dependencies(vs_tools vs_engine32)
endif()
