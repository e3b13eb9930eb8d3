# vexa_pack_game(<target> FOLDER <dir> OUTPUT <file>)
# Packs every file below <dir> into the game package <file> (a data.pak) with vexapak, whenever a
# file of the folder changes. <target> builds it and is part of ALL.
#
# The packer runs on the build machine. A native build uses its own vexapak; a cross build (the
# Windows player built on Linux) builds vexapak and vexaship once more for the build machine, in
# <build>/host-tools, unless VEXA_HOST_VEXAPAK names one that exists already.
#
# VEXA_HOST_VEXASHIP / VEXA_HOST_VEXASHIP_TARGET (global properties) name the build machine's
# vexaship and the target that builds it, for the demo's shipped copy and the shipping tests.

set(VEXA_HOST_VEXAPAK "" CACHE FILEPATH
    "vexapak for the build machine, used by cross builds to pack games (empty: build one)")

if(NOT CMAKE_CROSSCOMPILING)
  set(_vexa_packer $<TARGET_FILE:vexapak>)
  set(_vexa_packer_target vexapak)
  set(_vexa_shipper $<TARGET_FILE:vexaship>)
  set(_vexa_shipper_target vexaship)
elseif(VEXA_HOST_VEXAPAK)
  set(_vexa_packer ${VEXA_HOST_VEXAPAK})
  set(_vexa_packer_target "")
  get_filename_component(_vexa_host_bin ${VEXA_HOST_VEXAPAK} DIRECTORY)
  set(_vexa_shipper ${_vexa_host_bin}/../vexaship/vexaship)
  set(_vexa_shipper_target "")
else()
  include(ExternalProject)
  set(_vexa_host_dir ${CMAKE_BINARY_DIR}/host-tools)
  set(_vexa_packer ${_vexa_host_dir}/tools/vexapak/vexapak)
  set(_vexa_shipper ${_vexa_host_dir}/tools/vexaship/vexaship)
  # The project itself, configured for the build machine; only vexapak is built.
  ExternalProject_Add(vexa_host_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${_vexa_host_dir}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DVEXA_BENCH=OFF -DVEXA_SANITIZE=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target vexapak vexaship
    BUILD_BYPRODUCTS ${_vexa_packer} ${_vexa_shipper}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
  set(_vexa_packer_target vexa_host_tools)
  set(_vexa_shipper_target vexa_host_tools)
endif()
# Callers in other folders read these when the function runs.
set_property(GLOBAL PROPERTY VEXA_PACKER "${_vexa_packer}")
set_property(GLOBAL PROPERTY VEXA_PACKER_TARGET "${_vexa_packer_target}")
set_property(GLOBAL PROPERTY VEXA_HOST_VEXASHIP "${_vexa_shipper}")
set_property(GLOBAL PROPERTY VEXA_HOST_VEXASHIP_TARGET "${_vexa_shipper_target}")

function(vexa_pack_game target)
  cmake_parse_arguments(A "" "FOLDER;OUTPUT" "" ${ARGN})
  if(NOT A_FOLDER OR NOT A_OUTPUT)
    message(FATAL_ERROR "vexa_pack_game(${target}) needs FOLDER and OUTPUT")
  endif()
  get_property(packer GLOBAL PROPERTY VEXA_PACKER)
  get_property(packer_target GLOBAL PROPERTY VEXA_PACKER_TARGET)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${A_FOLDER}/*)
  get_filename_component(out_dir ${A_OUTPUT} DIRECTORY)
  add_custom_command(
    OUTPUT ${A_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${A_OUTPUT}
    COMMAND ${packer} pack ${A_FOLDER} ${A_OUTPUT}
    DEPENDS ${files} ${packer_target}
    COMMENT "Packing ${A_FOLDER} into ${A_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${A_OUTPUT})
endfunction()
