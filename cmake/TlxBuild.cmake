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

# tlx_add_player_target(<folder>...)
# Adds the target 'player': every shared library, module, program and resource
# bundle defined in the folders given and below them (what they link comes
# along as a dependency).
function(tlx_add_player_target)
  set(pending ${ARGN})
  list(TRANSFORM pending PREPEND ${CMAKE_SOURCE_DIR}/)
  set(deliverables)
  while(pending)
    list(POP_FRONT pending dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type MATCHES "^(SHARED_LIBRARY|MODULE_LIBRARY|EXECUTABLE)$" OR target MATCHES "_bundle$")
        list(APPEND deliverables ${target})
      endif()
    endforeach()
    get_property(children DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    list(APPEND pending ${children})
  endwhile()
  add_custom_target(player)
  add_dependencies(player ${deliverables})
endfunction()

# tlx_internal_headers(<target> <root>)
# The target includes its internal headers by their path below <root>
# ("win32/internal/kernel_object.h", "link/event_mgr.h"). The root stays the
# target's own: no other library sees it, only the test programs that link the
# target (tlx_add_gtest), so they can reach what they test.
function(tlx_internal_headers target root)
  target_include_directories(${target} PRIVATE ${root})
  set_property(TARGET ${target} PROPERTY TLX_INTERNAL_ROOT ${root})
endfunction()

# tlx_add_c_api_library(<name> CORE <core> CORE_SOURCES ... [SOURCES ...]
#                       EXPORTS <version script> [LIBS ...] [API_LIBS ...])
# A deliverable with a flat C interface, in two targets:
# - <core>, the deliverable's parts as an object library with hidden symbols.
#   A test program that links it gets every part (linked whole) and the
#   deliverable's internal headers, included by their path below src/.
# - <name> (lib<name>.so): the core's objects and SOURCES, exporting only the
#   names the version script lists (the API macros make them visible first).
# Both export the deliverable's include/ folder. LIBS are what the parts use;
# API_LIBS what the public headers include, passed on to every user.
function(tlx_add_c_api_library name)
  cmake_parse_arguments(L "" "CORE;EXPORTS" "CORE_SOURCES;SOURCES;LIBS;API_LIBS" ${ARGN})
  add_library(${L_CORE} OBJECT ${L_CORE_SOURCES})
  add_library(${name} SHARED $<TARGET_OBJECTS:${L_CORE}> ${L_SOURCES})
  foreach(target ${L_CORE} ${name})
    set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
    tlx_internal_headers(${target} ${PROJECT_SOURCE_DIR}/src)
  endforeach()
  target_link_libraries(${L_CORE} PUBLIC ${L_LIBS} ${L_API_LIBS})
  target_link_libraries(${name} PUBLIC ${L_API_LIBS} PRIVATE ${L_LIBS})
  set(script ${CMAKE_CURRENT_SOURCE_DIR}/${L_EXPORTS})
  target_link_options(${name} PRIVATE "-Wl,--version-script=${script}")
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${script})
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
  foreach(lib IN LISTS T_LIBS)
    if(TARGET ${lib})
      get_target_property(root ${lib} TLX_INTERNAL_ROOT)
      if(root)
        target_include_directories(${T_NAME} PRIVATE ${root})
      endif()
    endif()
  endforeach()
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
