# tlx_add_resource_bundle(<name> SOURCE <folder>
#                         [INVENTORY <tsv> MODULE <region|common|shell>]
#                         [EMBED <library> SYMBOL <symbol>])
# Builds the resource bundle <name>.rcc from a source folder laid out as
# strings/<lang>.json, dialogs/<id>.json, menus/<id>.json, BITMAP/<id>.png,
# IMAGE/<id>.png, ICON/<id>.png and <TYPE>/<id>.bin, any of them also as
# <TYPE>/<lang>/<id>... With an inventory, the module's pending strings and
# bitmaps get stand-ins (outside/resources/tools/make_bundle.py). The bundle
# lands beside the programs, built by the target <name>_bundle; with EMBED it
# is compiled into <library> instead, as the bytes <symbol> and their size
# <symbol>_size.
function(tlx_add_resource_bundle name)
  cmake_parse_arguments(B "" "SOURCE;INVENTORY;MODULE;EMBED;SYMBOL" "" ${ARGN})
  find_package(Qt6 REQUIRED COMPONENTS Core)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(tool ${PROJECT_SOURCE_DIR}/outside/resources/tools/make_bundle.py)
  set(stage ${CMAKE_CURRENT_BINARY_DIR}/${name}_stage)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${B_SOURCE}/*)
  set(inventory_args)
  if(B_INVENTORY)
    set(inventory_args --inventory ${B_INVENTORY} --module ${B_MODULE})
  endif()
  if(B_EMBED)
    set(bundle ${stage}/${name}.rcc)
  else()
    set(bundle ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name}.rcc)
  endif()
  add_custom_command(OUTPUT ${bundle}
    COMMAND Python3::Interpreter ${tool} qrc --source ${B_SOURCE} --stage ${stage} ${inventory_args}
    COMMAND Qt6::rcc --binary --no-compress ${stage}/bundle.qrc -o ${bundle}
    DEPENDS ${tool} ${sources} ${B_INVENTORY}
    COMMENT "Building the resource bundle ${name}"
    VERBATIM)
  if(B_EMBED)
    set(cpp ${stage}/${name}.cpp)
    add_custom_command(OUTPUT ${cpp}
      COMMAND Python3::Interpreter ${tool} embed --bundle ${bundle} --symbol ${B_SYMBOL} --output ${cpp}
      DEPENDS ${tool} ${bundle}
      VERBATIM)
    target_sources(${B_EMBED} PRIVATE ${cpp})
  else()
    add_custom_target(${name}_bundle ALL DEPENDS ${bundle})
  endif()
endfunction()
