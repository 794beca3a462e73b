# Build rules shared by every folder of the project.

set(TLX_SANITIZE "" CACHE STRING "Sanitizer build: empty, 'address' (ASan+UBSan) or 'thread' (TSan)")

add_compile_options(-Wall -Wextra)

if(TLX_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(TLX_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT TLX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TLX_SANITIZE must be empty, 'address' or 'thread', not '${TLX_SANITIZE}'")
endif()

# Adds, in name order, every direct subfolder of the current folder that has a
# CMakeLists.txt. Targets may refer to each other in any order, so a folder that
# only groups others needs no hand-kept list.
function(tlx_add_children)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# tlx_reach_internal_headers(<target> PUBLIC|PRIVATE <lib>...)
# A test program, or a test support library (PUBLIC: for the programs that
# link it), reaches the internal headers of the libraries it tests.
function(tlx_reach_internal_headers target scope)
  foreach(lib IN LISTS ARGN)
    if(TARGET ${lib})
      get_target_property(root ${lib} TLX_INTERNAL_ROOT)
      if(root)
        target_include_directories(${target} ${scope} ${root})
      endif()
    endif()
  endforeach()
endfunction()

# tlx_targets_below(<out> <kinds regex> <folder>...)
# The targets of the given types (SHARED_LIBRARY, MODULE_LIBRARY, ...)
# defined in the folders given (below the project's root) and below them.
function(tlx_targets_below out kinds)
  set(pending ${ARGN})
  list(TRANSFORM pending PREPEND ${CMAKE_SOURCE_DIR}/)
  set(found)
  while(pending)
    list(POP_FRONT pending dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type MATCHES "^(${kinds})$")
        list(APPEND found ${target})
      endif()
    endforeach()
    get_property(children DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    list(APPEND pending ${children})
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# tlx_add_player_target(<folder>...)
# Adds the target 'player': every shared library, module, program and resource
# bundle defined in the folders given and below them (what they link comes
# along as a dependency).
function(tlx_add_player_target)
  tlx_targets_below(deliverables "SHARED_LIBRARY|MODULE_LIBRARY|EXECUTABLE|UTILITY" ${ARGN})
  list(FILTER deliverables EXCLUDE REGEX "^(player)$")
  set(kept)
  foreach(target IN LISTS deliverables)
    get_target_property(type ${target} TYPE)
    if(NOT type STREQUAL "UTILITY" OR target MATCHES "_bundle$")
      list(APPEND kept ${target})
    endif()
  endforeach()
  add_custom_target(player)
  add_dependencies(player ${kept})
endfunction()

# tlx_tree_root(<out>)
# The top folder of the tree the current folder belongs to (src/, platform/,
# outside/, tests/, bench/): each tree has one include root.
function(tlx_tree_root out)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  string(REGEX REPLACE "/.*" "" top ${folder})
  set(${out} ${PROJECT_SOURCE_DIR}/${top} PARENT_SCOPE)
endfunction()

# tlx_internal_headers(<target>)
# The target includes its internal headers by their path below its tree's
# root ("win32/internal/kernel_object.h",
# "filters/mpeg4/core/bit_reader.h"). The root stays the target's own: no
# other library sees it, only the test programs that link the target
# (tlx_add_gtest), so they can reach what they test.
function(tlx_internal_headers target)
  tlx_tree_root(root)
  target_include_directories(${target} PRIVATE ${root})
  set_property(TARGET ${target} PROPERTY TLX_INTERNAL_ROOT ${root})
endfunction()

# One helper per kind of deliverable (README, "How a deliverable is built"):
#   tlx_add_c_api_library  a library of C functions
#   tlx_add_cxx_library    a library of C++ classes
#   tlx_add_filter_module  a filter module the filter layer loads by file name
#   tlx_add_program        a program
#   tlx_add_headers        the declarations of a deliverable bound at run time
# Each library helper links with the deliverable's export file, a version
# script that names exactly what its public headers declare; the test
# exports.* compares every built library with its file.

# The export file of a library (recorded for the export test) and the link
# options that make it the library's list of exported names.
function(tlx_link_exports target file)
  if(NOT IS_ABSOLUTE ${file})
    set(file ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endif()
  target_link_options(${target} PRIVATE "-Wl,--version-script=${file}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${file})
  set_property(TARGET ${target} PROPERTY TLX_EXPORTS ${file})
endfunction()

# tlx_add_c_api_library(<name> CORE <core> CORE_SOURCES ... [SOURCES ...]
#                       EXPORTS <version script> [LIBS ...] [API_LIBS ...])
# A deliverable with a flat C interface, in two targets:
# - <core>, the deliverable's parts as an object library with hidden symbols.
#   A test program that links it gets every part (linked whole) and the
#   deliverable's internal headers, included by their path below its tree's
#   root (src/: "link/os/task_lib.h").
# - <name> (lib<name>.so): the core's objects and SOURCES, exporting only the
#   names the version script lists (TLX_EXPORT makes them visible first).
# Both export the deliverable's include/ folder. LIBS are what the parts use;
# API_LIBS what the public headers include, passed on to every user.
function(tlx_add_c_api_library name)
  cmake_parse_arguments(L "" "CORE;EXPORTS" "CORE_SOURCES;SOURCES;LIBS;API_LIBS" ${ARGN})
  add_library(${L_CORE} OBJECT ${L_CORE_SOURCES})
  add_library(${name} SHARED $<TARGET_OBJECTS:${L_CORE}> ${L_SOURCES})
  foreach(target ${L_CORE} ${name})
    set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
    tlx_internal_headers(${target})
  endforeach()
  target_link_libraries(${L_CORE} PUBLIC tlx_export ${L_LIBS} ${L_API_LIBS})
  target_link_libraries(${name} PUBLIC tlx_export ${L_API_LIBS} PRIVATE ${L_LIBS})
  tlx_link_exports(${name} ${L_EXPORTS})
endfunction()

# tlx_add_cxx_library(<name> SOURCES ... EXPORTS <version script>
#                     [LIBS ...] [API_LIBS ...])
# A library of C++ classes (lib<name>.so), in two targets:
# - <name>_parts, an object library of every source. A test program that
#   reaches the library's internal parts links it whole, when nothing else in
#   its process loads the shared library (which would be a second copy).
# - <name>, the shared library of those objects. Its version script names the
#   public classes and functions (patterns of demangled names in an
#   extern "C++" block); every other name stays inside.
# Users get the include/ folder; the internal headers, included by their path
# below the tree's root (as in "engine/engine_ini.h" or
# "resources/internal/module.h"), only reach test programs
# (tlx_add_gtest). LIBS are what the parts use; API_LIBS what the public
# headers include, passed on to every user.
function(tlx_add_cxx_library name)
  cmake_parse_arguments(L "" "EXPORTS" "SOURCES;LIBS;API_LIBS" ${ARGN})
  add_library(${name}_parts OBJECT ${L_SOURCES})
  add_library(${name} SHARED $<TARGET_OBJECTS:${name}_parts>)
  foreach(target ${name}_parts ${name})
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
    tlx_internal_headers(${target})
  endforeach()
  target_link_libraries(${name}_parts PUBLIC ${L_LIBS} ${L_API_LIBS})
  target_link_libraries(${name} PUBLIC ${L_API_LIBS} PRIVATE ${L_LIBS})
  tlx_link_exports(${name} ${L_EXPORTS})
endfunction()

# tlx_add_filter_module(<target> FILE <file name> SOURCES ... [LIBS ...]
#                       [EXPORTS <version script>])
# Builds a filter module that the filter layer loads by file name. It exports
# the four module entries only (cmake/filter_module.exports), or what its own
# version script lists.
function(tlx_add_filter_module target)
  cmake_parse_arguments(M "" "FILE;EXPORTS" "SOURCES;LIBS" ${ARGN})
  if(NOT M_EXPORTS)
    set(M_EXPORTS ${PROJECT_SOURCE_DIR}/cmake/filter_module.exports)
  endif()
  add_library(${target} MODULE ${M_SOURCES})
  target_link_libraries(${target} PRIVATE tlx_dshow_module ${M_LIBS})
  # Each module binds to its own entries and templates, whatever else is loaded.
  target_link_options(${target} PRIVATE -Wl,-Bsymbolic)
  # Nothing else leaves the module: an exported class constant or inline
  # static would be a process-wide unique symbol, and the loader never unmaps
  # a module that defines one, so the module could not be freed.
  tlx_link_exports(${target} ${M_EXPORTS})
  get_filename_component(base ${M_FILE} NAME_WE)
  get_filename_component(suffix ${M_FILE} LAST_EXT)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${base} SUFFIX "${suffix}")
endfunction()

# tlx_add_program(<name> SOURCES ... [LIBS ...])
# A program of the player, in the programs' folder beside the libraries.
function(tlx_add_program name)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  target_link_libraries(${name} PRIVATE ${P_LIBS})
endfunction()

# tlx_add_headers(<name> [LIBS ...])
# The current folder's include/ as the INTERFACE target <name>, for users that
# need a deliverable's declarations only (its interfaces, GUIDs and records)
# because they load it at run time. LIBS are what those headers include.
function(tlx_add_headers name)
  cmake_parse_arguments(H "" "" "LIBS" ${ARGN})
  add_library(${name} INTERFACE)
  target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/include)
  target_link_libraries(${name} INTERFACE ${H_LIBS})
endfunction()

# tlx_add_gtest(NAME <target> PREFIX <folder> SOURCES ... [LIBS ...] [LABELS ...]
#               [PROPERTIES ...])
# Builds one GoogleTest program and registers each of its tests with CTest as
# "<folder>.<Suite>.<Test>", labelled 'unit' unless LABELS gives one or more
# labels (LABELS peer slow).
function(tlx_add_gtest)
  cmake_parse_arguments(T "" "NAME;PREFIX" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  tlx_reach_internal_headers(${T_NAME} PRIVATE ${T_LIBS})
  gtest_discover_tests(${T_NAME}
    TEST_PREFIX ${T_PREFIX}.
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300 ${T_PROPERTIES})
  # Discovery flattens list-valued properties, so the labels are set on the
  # discovered tests afterwards, from the list of names discovery leaves.
  set(labels_file ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_labels.cmake)
  file(WRITE ${labels_file}
    "if(${T_NAME}_TESTS)\n"
    "  set_tests_properties(\${${T_NAME}_TESTS} PROPERTIES LABELS \"${T_LABELS}\")\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_file})
endfunction()

# Resource bundles for the region and the libraries.
include(TlxResourceBundle)
