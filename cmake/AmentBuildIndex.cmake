# Registers packages and plug-in descriptions in the build tree's ament resource index
# (${BRINDLEX_BUILD_PREFIX}), mirroring what ament_package() and
# pluginlib_export_plugin_description_file() install.

# brindlex_register_build_package(<package>)
# Also copies the calling folder's package.xml to share/<package>/: pluginlib names the package
# that exports a plug-in description by the package.xml nearest to the description file, and
# refuses the plug-ins of a description without one.
function(brindlex_register_build_package package)
  file(WRITE "${BRINDLEX_BUILD_PREFIX}/share/ament_index/resource_index/packages/${package}" "")
  if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/package.xml")
    configure_file("${CMAKE_CURRENT_SOURCE_DIR}/package.xml"
      "${BRINDLEX_BUILD_PREFIX}/share/${package}/package.xml" COPYONLY)
  endif()
endfunction()

# brindlex_register_build_plugin_description(<base_package> <package> <xml>)
# <xml> is relative to the calling CMakeLists.txt; it is copied to share/<package>/.
function(brindlex_register_build_plugin_description base_package package xml)
  get_filename_component(xml_name "${xml}" NAME)
  configure_file("${CMAKE_CURRENT_SOURCE_DIR}/${xml}"
    "${BRINDLEX_BUILD_PREFIX}/share/${package}/${xml_name}" COPYONLY)
  file(WRITE
    "${BRINDLEX_BUILD_PREFIX}/share/ament_index/resource_index/${base_package}__pluginlib__plugin/${package}"
    "share/${package}/${xml_name}\n")
endfunction()
