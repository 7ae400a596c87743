# Install rules of the project's libraries, driven by the targets themselves, so a source or header
# added to a library needs no change here.

# brindlex_install_libraries(<export set> <target>...)
# Installs each existing <target> into <export set> (for ament_export_targets()) and, once each, the
# header folders of the source tree that the targets name as build-tree include directories.
function(brindlex_install_libraries export_set)
  set(targets "")
  foreach(target IN LISTS ARGN)
    if(TARGET ${target})
      list(APPEND targets ${target})
    endif()
  endforeach()
  if(NOT targets)
    return()
  endif()
  install(TARGETS ${targets} EXPORT ${export_set}
    LIBRARY DESTINATION lib
    ARCHIVE DESTINATION lib
    RUNTIME DESTINATION bin)

  set(header_dirs "")
  get_filename_component(source_dir "${PROJECT_SOURCE_DIR}" REALPATH)
  foreach(target IN LISTS targets)
    get_target_property(include_dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
    foreach(entry IN LISTS include_dirs)
      if(entry MATCHES "^\\$<BUILD_INTERFACE:(.+)>$")
        get_filename_component(dir "${CMAKE_MATCH_1}" REALPATH)
        string(FIND "${dir}/" "${source_dir}/" at)
        if(at EQUAL 0)
          list(APPEND header_dirs "${dir}")
        endif()
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES header_dirs)
  foreach(dir IN LISTS header_dirs)
    install(DIRECTORY "${dir}/" DESTINATION include)
  endforeach()
endfunction()
