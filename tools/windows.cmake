# The Tools folder programs as targets of the Windows configuration, linked
# against the same vs_package and vs_platform libraries as the generator.

# The portable rules of the engine and the tools.
file(GLOB engine_core_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/core/*.cpp)
add_library(vs_engine_core STATIC ${engine_core_sources})
target_include_directories(vs_engine_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(vs_engine_core PUBLIC vs_package ws2_32)

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
endif()
set(VS_ENGINE_ICON ${engine_icon})  # for engine.rc.in only; the cached value stays
configure_file(engine/engine.rc.in ${CMAKE_CURRENT_BINARY_DIR}/engine.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/engine.rc PROPERTIES OBJECT_DEPENDS ${engine_icon})

function(vs_windows_tool name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} WIN32 ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE vs_engine_core ${arg_LIBRARIES})
  target_link_options(${name} PRIVATE -municode -s)
  target_compile_options(${name} PRIVATE -municode)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VS_TOOLS_DIR})
endfunction()

file(GLOB engine_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/engine/*.cpp)
vs_windows_tool(VSengine SOURCES ${engine_sources} ${CMAKE_CURRENT_BINARY_DIR}/engine.rc LIBRARIES gdi32 user32)
vs_windows_tool(VSS SOURCES vss/vss_main.cpp LIBRARIES ws2_32 iphlpapi)
vs_windows_tool(VSE SOURCES vse/vse_main.cpp LIBRARIES shell32 ole32)
vs_windows_tool(VSP SOURCES vsp/vsp_main.cpp LIBRARIES comdlg32 gdi32 winspool)
vs_windows_tool(VSD SOURCES vsd/vsd_main.cpp LIBRARIES shell32)

# The hook library exports its functions under their plain names.
add_library(mhproc SHARED mhproc/mhproc.c)
set_target_properties(mhproc PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${VS_TOOLS_DIR})
target_link_options(mhproc PRIVATE -Wl,--kill-at -s)

add_custom_target(vs_tools ALL DEPENDS VSengine VSS VSE VSP VSD mhproc)
