# Compiler settings shared by the server and the platform stand-in.
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE Release CACHE STRING "Build type" FORCE)
endif()

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

option(BRINDLEX_ASAN "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(BRINDLEX_TSAN "Build with ThreadSanitizer" OFF)
option(BRINDLEX_COVERAGE "Build with coverage instrumentation" OFF)

if(BRINDLEX_ASAN AND BRINDLEX_TSAN)
  message(FATAL_ERROR "BRINDLEX_ASAN and BRINDLEX_TSAN cannot be combined")
endif()

if(BRINDLEX_ASAN)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(BRINDLEX_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(BRINDLEX_COVERAGE)
  add_compile_options(--coverage -O0)
  add_link_options(--coverage)
endif()

# Warnings for the project's own targets (the stand-in uses them too).
set(BRINDLEX_WARNINGS -Wall -Wextra -Wpedantic)

# Everything loadable lands in one prefix inside the build tree, laid out like an install, so that
# pluginlib and ament_index_cpp find the packages from the build the tests use.
set(BRINDLEX_BUILD_PREFIX "${CMAKE_BINARY_DIR}/prefix")
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY "${BRINDLEX_BUILD_PREFIX}/lib")

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_CXX_COMPILER_LAUNCHER "${CCACHE_PROGRAM}")
  set(CMAKE_C_COMPILER_LAUNCHER "${CCACHE_PROGRAM}")
endif()

# Installed libraries (in <prefix>/lib) and programs (in <prefix>/lib/<package>) find the libraries
# beside them wherever the tree is installed.
set(CMAKE_INSTALL_RPATH "$ORIGIN;$ORIGIN/..")
