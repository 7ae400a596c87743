# Registers packages and plug-in descriptions in an ament resource index inside the build tree,
# mirroring what ament_package() and pluginlib_export_plugin_description_file() install. The default
# prefix is ${BRINDLEX_BUILD_PREFIX}; test-only packages use a prefix of their own so that they never
# show up beside the shipped plug-ins.

# brindlex_register_build_package(<package> [PREFIX <dir>])
# Also copies the calling folder's package.xml to share/<package>/: pluginlib names the package
# that exports a plug-in description by the package.xml nearest to the description file, and
# refuses the plug-ins of a description without one.
function(brindlex_register_build_package package)
  cmake_parse_arguments(ARG "" "PREFIX" "" ${ARGN})
  if(NOT ARG_PREFIX)
    set(ARG_PREFIX "${BRINDLEX_BUILD_PREFIX}")
  endif()
  file(WRITE "${ARG_PREFIX}/share/ament_index/resource_index/packages/${package}" "")
  if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/package.xml")
    configure_file("${CMAKE_CURRENT_SOURCE_DIR}/package.xml"
      "${ARG_PREFIX}/share/${package}/package.xml" COPYONLY)
  endif()
endfunction()

# brindlex_register_build_plugin_description(<base_package> <package> <xml> [PREFIX <dir>])
# <xml> is relative to the calling CMakeLists.txt; it is copied to share/<package>/.
function(brindlex_register_build_plugin_description base_package package xml)
  cmake_parse_arguments(ARG "" "PREFIX" "" ${ARGN})
  if(NOT ARG_PREFIX)
    set(ARG_PREFIX "${BRINDLEX_BUILD_PREFIX}")
  endif()
  get_filename_component(xml_name "${xml}" NAME)
  configure_file("${CMAKE_CURRENT_SOURCE_DIR}/${xml}"
    "${ARG_PREFIX}/share/${package}/${xml_name}" COPYONLY)
  file(WRITE
    "${ARG_PREFIX}/share/ament_index/resource_index/${base_package}__pluginlib__plugin/${package}"
    "share/${package}/${xml_name}\n")
endfunction()
