# Tests of the installed tree: every CMake configuration and index entry an outside package needs,
# an outside layer plug-in built and loaded from it, and no trace of the build tree in it. Both
# install the current build, so they run after a complete build.
set(BRINDLEX_INSTALL_TEST "${CMAKE_CURRENT_LIST_DIR}/outside_package_test.sh")

add_test(NAME install_tree_names_no_build_path
  COMMAND bash "${BRINDLEX_INSTALL_TEST}" build-paths
    "${CMAKE_BINARY_DIR}" "${PROJECT_SOURCE_DIR}" "${CMAKE_COMMAND}")
set_tests_properties(install_tree_names_no_build_path PROPERTIES TIMEOUT 60)

# The outside package is configured like this build: same generator and compiler, and the Python
# that holds ament_package.
set(outside_options -G "${CMAKE_GENERATOR}" "-DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}")
if(Python3_EXECUTABLE)
  list(APPEND outside_options "-DPython3_EXECUTABLE=${Python3_EXECUTABLE}")
endif()
# A sanitised build's libraries need the sanitiser runtime loaded first: the outside programs and
# plug-in are built with the same sanitiser.
set(outside_sanitizer "")
if(BRINDLEX_ASAN)
  set(outside_sanitizer "-fsanitize=address,undefined")
elseif(BRINDLEX_TSAN)
  set(outside_sanitizer "-fsanitize=thread")
endif()
if(outside_sanitizer)
  list(APPEND outside_options
    "-DCMAKE_CXX_FLAGS=${outside_sanitizer} -fno-omit-frame-pointer"
    "-DCMAKE_EXE_LINKER_FLAGS=${outside_sanitizer}"
    "-DCMAKE_SHARED_LINKER_FLAGS=${outside_sanitizer}")
endif()
add_test(NAME install_outside_package
  COMMAND bash "${BRINDLEX_INSTALL_TEST}" outside-package
    "${CMAKE_BINARY_DIR}" "${PROJECT_SOURCE_DIR}" "${CMAKE_COMMAND}" ${outside_options})
set_tests_properties(install_outside_package PROPERTIES TIMEOUT 180)
