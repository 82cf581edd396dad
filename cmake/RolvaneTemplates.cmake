# Packs a writer library's template document from its readable sources at build time and installs it
# beside the library's other shared files (share/rolvane/<library>/<document>).
#
#   rolvane_pack_template(<library> <source folder> <document> [PARTS <part>...] [MTIME <time>])
#
# Without PARTS every file below the folder is packed, in sorted order. MTIME stamps every entry with
# one fixed time, so that the packed document does not change with the sources' file times.
function(rolvane_pack_template library source_folder document_name)
  cmake_parse_arguments(PACK "" "MTIME" "PARTS" ${ARGN})
  if(PACK_PARTS)
    set(parts ${PACK_PARTS})
  else()
    file(GLOB_RECURSE parts RELATIVE ${source_folder} CONFIGURE_DEPENDS ${source_folder}/*)
    list(SORT parts)
  endif()
  set(parts_full "")
  foreach(part IN LISTS parts)
    list(APPEND parts_full ${source_folder}/${part})
  endforeach()
  set(mtime "")
  if(PACK_MTIME)
    set(mtime "--mtime=${PACK_MTIME}")
  endif()
  set(folder ${CMAKE_BINARY_DIR}/share/rolvane/${library})
  set(output ${folder}/${document_name})
  add_custom_command(
      OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
      COMMAND ${CMAKE_COMMAND} -E remove -f ${output}
      COMMAND ${CMAKE_COMMAND} -E tar cf ${output} --format=zip ${mtime} -- ${parts}
      WORKING_DIRECTORY ${source_folder}
      DEPENDS ${parts_full}
      COMMENT "Packing the ${library} template ${document_name}"
      VERBATIM)
  add_custom_target(${library}_template ALL DEPENDS ${output})
  add_dependencies(${library} ${library}_template)
  install(FILES ${output} DESTINATION ${CMAKE_INSTALL_DATADIR}/rolvane/${library})
endfunction()
