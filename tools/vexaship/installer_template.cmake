# vexa_installer_template(<output .cpp>)
# Writes a source file whose InstallerScriptTemplate() returns the text of installer.nsi (this
# folder), so vexaship carries its NSIS script inside; CMake writes it again when the script
# changes. The file includes "installer.h": compile it where that header is on the include path.
function(vexa_installer_template out)
  set(nsi "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/installer.nsi")
  file(READ "${nsi}" VEXA_INSTALLER_NSI)
  string(FIND "${VEXA_INSTALLER_NSI}" ")vexa_nsi\"" marker)
  if(NOT marker EQUAL -1)
    message(FATAL_ERROR "${nsi} holds the end marker of the raw string that carries it")
  endif()
  configure_file("${CMAKE_CURRENT_FUNCTION_LIST_DIR}/installer_template.cpp.in" "${out}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${nsi}")
endfunction()
