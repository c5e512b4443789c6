# The unit tests in the Windows configuration. GoogleTest is built from the
# sources of Debian's googletest package; every test program is one CTest
# entry here that runs under wine (CMAKE_CROSSCOMPILING_EMULATOR), labelled
# "gtest" so that the Linux build that drives this one lists its cases one by
# one (cmake/import_windows_tests.cmake.in).
set(VS_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's sources (Debian's googletest package)")
if(NOT EXISTS ${VS_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(WARNING "GoogleTest's sources are missing (${VS_GOOGLETEST_SOURCE_DIR}; Debian's googletest package): "
                  "the Windows unit tests are not built; run scripts/setup.sh.")
  return()
endif()
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${VS_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

file(GLOB support_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
add_library(vs_test_support STATIC ${support_sources})
target_link_libraries(vs_test_support PUBLIC vs_app)
target_include_directories(vs_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})

# Tests about a piece that exists only on Linux: ImageMagick's command line.
set(vs_linux_only_tests
  shape/imagemagick_test.cpp)

function(vs_windows_unit_tests area)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/unit/${area}/*.cpp)
  foreach(excluded ${vs_linux_only_tests})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/unit/${excluded})
  endforeach()
  if(NOT sources)
    return()
  endif()
  add_executable(unit_${area} ${sources})
  target_link_libraries(unit_${area} PRIVATE vs_test_support GTest::gtest GTest::gmock GTest::gtest_main ${ARGN})
  target_compile_definitions(unit_${area} PRIVATE
    VS_SOURCE_DIR="${PROJECT_SOURCE_DIR}" VS_TOOLS_DIR="${VS_TOOLS_DIR}")
  add_test(NAME windows.unit_${area} COMMAND unit_${area} --gtest_brief=1)
  set_tests_properties(windows.unit_${area} PROPERTIES SKIP_RETURN_CODE ${VS_SKIP_RETURN_CODE} TIMEOUT 900
    LABELS "windows;gtest")
endfunction()

foreach(area platform package swf shape exe app)
  vs_windows_unit_tests(${area})
endforeach()
vs_windows_unit_tests(engine vs_engine_core)
