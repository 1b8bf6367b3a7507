# One library per layer, each compiled so that it can see only itself and the
# layers below it: its include root holds links to exactly those folders (or
# single headers), so an include of anything above does not compile. A link
# check per layer (the layer and those below it as one shared object, with no
# symbol left undefined) catches a call upward that slipped in by declaration.

set(VANTOR_LAYERS "")

# vantor_layer(NAME
#   SOURCES file...      the layer's own sources
#   SEES path...         folders or headers (relative to the source root) it may include,
#                        its own folder among them
#   BELOW layer...       the layers it builds on (their objects join its link check)
#   LINKS library...)    libraries below the module it calls (platform, the host library)
function(vantor_layer name)
  cmake_parse_arguments(LAYER "" "" "SOURCES;SEES;BELOW;LINKS" ${ARGN})
  add_library(${name} OBJECT ${LAYER_SOURCES})
  set(root ${CMAKE_BINARY_DIR}/layers/${name})
  file(REMOVE_RECURSE ${root})
  foreach(path ${LAYER_SEES})
    get_filename_component(parent ${root}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${path} ${root}/${path} SYMBOLIC)
  endforeach()
  target_include_directories(${name} PRIVATE ${root})

  set(objects $<TARGET_OBJECTS:${name}>)
  set(closure ${name})
  foreach(below ${LAYER_BELOW})
    get_target_property(below_closure ${below} VANTOR_CLOSURE)
    list(APPEND closure ${below_closure})
  endforeach()
  list(REMOVE_DUPLICATES closure)
  set_target_properties(${name} PROPERTIES VANTOR_CLOSURE "${closure}")
  set(check_objects "")
  foreach(layer ${closure})
    list(APPEND check_objects $<TARGET_OBJECTS:${layer}>)
  endforeach()
  add_library(${name}_link_check MODULE ${check_objects})
  target_link_libraries(${name}_link_check PRIVATE ${LAYER_LINKS})
  target_link_options(${name}_link_check PRIVATE -Wl,--no-undefined)
  set_target_properties(${name}_link_check PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/layers)

  set(VANTOR_LAYERS ${VANTOR_LAYERS} ${name} PARENT_SCOPE)
endfunction()
