# Layers the build enforces. Every header is included by its path from the top of the source tree
# ("app/model/PersonRecord.h", "core/record/ContactRecord.h"), but no target sees the whole tree:
# a target publishes the folders (or single headers) it owns as links inside an include folder of its
# own, build/include/<target>/, and a target that links it sees them through that folder. A header
# of a folder a target does not link is therefore not found, and an upward include fails to build.
#
#   rolvane_publish_headers(<target> <path>...)
#
# <path> is a folder or a header relative to the top of the source tree. Libraries publish to their
# users (PUBLIC, or INTERFACE for header-only targets); programs and tests keep them to themselves.
function(rolvane_publish_headers target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  foreach(path IN LISTS ARGN)
    if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${path})
      message(FATAL_ERROR "rolvane_publish_headers(${target}): ${path} does not exist")
    endif()
    get_filename_component(parent ${root}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${path} ${root}/${path} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_include_directories(${target} PRIVATE ${root})
  elseif(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
