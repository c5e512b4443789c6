# The Windows installer (CPack's NSIS generator, Debian's nsis package) and a
# portable zip of the same folder: the programs, tools\ and Docs\ side by
# side, because the programs find the Tools and Docs folders beside
# themselves. The installer adds a Start-menu entry for the window, an
# uninstall entry, and opens .vsp project files with the window.
install(TARGETS vexelscreen RUNTIME DESTINATION .)
set(vs_window_installed OFF)
if(TARGET vexelscreen-generator)
  install(TARGETS vexelscreen-generator RUNTIME DESTINATION .)
  set(vs_window_installed ON)
endif()
install(DIRECTORY ${VS_TOOLS_DIR}/ DESTINATION tools)
install(DIRECTORY ${VS_DOCS_DIR}/ DESTINATION Docs)

set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME "VexelSCREEN Generator")
set(CPACK_PACKAGE_FILE_NAME "vexelscreen-generator-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "VexelSCREEN")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Generator of customised Flash projectors for Windows")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "VexelSCREEN Generator")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "VexelSCREEN Generator")
set(CPACK_STRIP_FILES ON)
set(CPACK_NSIS_DISPLAY_NAME "VexelSCREEN Generator")
# A 64-bit installer of 64-bit programs, in the 64-bit program folder; the
# registry entries go to the 64-bit view. The target must be the script's
# first line: given later (CPACK_NSIS_DEFINES), it leaves the folder constants
# of the lines above it the 32-bit ones. So CPack's own template is taken
# with that line after its first one (the byte-order mark and a comment).
# The installer's own manifest names every Windows it knows and takes the
# screen's resolution as it is; it asks to run as administrator (the
# template's RequestExecutionLevel), since it writes into Program Files.
file(READ ${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in vs_nsis_template)
string(FIND "${vs_nsis_template}" "\n" vs_first_line_end)
string(SUBSTRING "${vs_nsis_template}" 0 ${vs_first_line_end} vs_first_line)
string(SUBSTRING "${vs_nsis_template}" ${vs_first_line_end} -1 vs_nsis_template)
file(WRITE ${CMAKE_BINARY_DIR}/nsis/NSIS.template.in "${vs_first_line}\nTarget amd64-unicode\nManifestSupportedOS all\nManifestDPIAware true${vs_nsis_template}")
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_BINARY_DIR}/nsis)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "VexelSCREEN Generator")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/gui/icons/vexelscreen.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/gui/icons/vexelscreen.ico)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
if(vs_window_installed)
  # Start menu: "VexelSCREEN Generator" opens the window.
  set(CPACK_PACKAGE_EXECUTABLES "vexelscreen-generator" "VexelSCREEN Generator")
  set(CPACK_NSIS_INSTALLED_ICON_NAME "vexelscreen-generator.exe")
  # .vsp files open in the window.
  set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [=[
  WriteRegStr HKCR ".vsp" "" "VexelSCREEN.Project"
  WriteRegStr HKCR "VexelSCREEN.Project" "" "VexelSCREEN project"
  WriteRegStr HKCR "VexelSCREEN.Project\DefaultIcon" "" "$INSTDIR\vexelscreen-generator.exe,0"
  WriteRegStr HKCR "VexelSCREEN.Project\shell\open\command" "" '"$INSTDIR\vexelscreen-generator.exe" "%1"'
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
]=])
  set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [=[
  ReadRegStr $0 HKCR ".vsp" ""
  StrCmp $0 "VexelSCREEN.Project" 0 +2
  DeleteRegKey HKCR ".vsp"
  DeleteRegKey HKCR "VexelSCREEN.Project"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
]=])
endif()
set(vs_package_file ${CPACK_PACKAGE_FILE_NAME})  # CPack.cmake leaves the source package's name behind
include(CPack)

# The installer and the zip are made by every build where makensis exists,
# after the programs; the test installs, runs and uninstalls under wine.
find_program(VS_MAKENSIS makensis)
if(VS_MAKENSIS)
  set(vs_packaged vexelscreen vs_tools)
  set(vs_packaged_files $<TARGET_FILE:vexelscreen> ${VS_TOOL_FILES})
  if(vs_window_installed)
    list(APPEND vs_packaged vexelscreen-generator)
    list(APPEND vs_packaged_files $<TARGET_FILE:vexelscreen-generator>)
  endif()
  set(VS_INSTALLER ${CMAKE_BINARY_DIR}/${vs_package_file}.exe)
  add_custom_command(OUTPUT ${VS_INSTALLER} ${CMAKE_BINARY_DIR}/${vs_package_file}.zip
    COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake -B ${CMAKE_BINARY_DIR}
    DEPENDS ${vs_packaged} ${vs_packaged_files} vs_help_docs
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "The installer and the portable zip (CPack: NSIS, ZIP)")
  add_custom_target(vs_installer ALL DEPENDS ${VS_INSTALLER})
  if(VS_BUILD_TESTS)
    add_test(NAME windows.installer
      COMMAND sh ${PROJECT_SOURCE_DIR}/packaging/windows_installer_test.sh ${VS_INSTALLER} ${VS_WINEPREFIX}-installer
              ${PROJECT_SOURCE_DIR}/cmake/wine_run.sh)
    set_tests_properties(windows.installer PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900 LABELS windows)
  endif()
else()
  message(STATUS "makensis (Debian's nsis) is missing: no Windows installer")
endif()
