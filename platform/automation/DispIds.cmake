# Dispatch ids of a control, written once in its type library and named
# everywhere else through a header the build generates from it.
#
#   velmora_dispid_header(<name> <namespace> <typelib.json>)
#
# makes the header <name>.h (see tools/dispids.cpp for what it declares) in
# the calling directory's build folder, and the header-only library <name>
# that a target links to include it. Example:
#
#   velmora_dispid_header(lumora_dispids lumora::dispid src/typelib.json)
#   target_link_libraries(lumora PRIVATE lumora_dispids)

add_executable(velmora_dispids ${CMAKE_CURRENT_LIST_DIR}/tools/dispids.cpp)
target_link_libraries(velmora_dispids PRIVATE velmora_automation Qt6::Core)

function(velmora_dispid_header name namespace typelib)
  get_filename_component(source "${typelib}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  set(dir "${CMAKE_CURRENT_BINARY_DIR}/${name}")
  set(header "${dir}/${name}.h")
  add_custom_command(OUTPUT "${header}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${dir}"
    COMMAND velmora_dispids "${source}" "${namespace}" "${header}"
    DEPENDS velmora_dispids "${source}"
    COMMENT "Generating ${name}.h from ${typelib}"
    VERBATIM)
  add_library(${name} INTERFACE "${header}")
  target_include_directories(${name} INTERFACE "${dir}")
  target_link_libraries(${name} INTERFACE velmora_automation)
endfunction()

# A control library's published type information against its golden table
# (tests/published_test.cpp: one case per row):
#
#   velmora_published_test(<test> <library target> <table>)
function(velmora_published_test test library table)
  get_filename_component(file "${table}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  velmora_add_test(${test}
    SOURCES ${CMAKE_SOURCE_DIR}/platform/automation/tests/published_test.cpp
    LIBS velmora_automation Qt6::Core)
  target_compile_definitions(${test} PRIVATE
    PUBLISHED_LIBRARY="$<TARGET_FILE:${library}>" PUBLISHED_TABLE="${file}")
  add_dependencies(${test} ${library})
endfunction()
