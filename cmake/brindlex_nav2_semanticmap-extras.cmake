# Part of the installed package configuration: imported targets that the exported libraries link
# but that no package configuration of their own defines.

# libsystemd (the logger's journal sink) and GraphicsMagick++ (map image size) come from pkg-config,
# under the names the libraries were built with.
find_package(PkgConfig QUIET REQUIRED)
if(NOT TARGET PkgConfig::SYSTEMD)
  pkg_check_modules(SYSTEMD QUIET REQUIRED IMPORTED_TARGET libsystemd)
endif()
if(NOT TARGET PkgConfig::GRAPHICSMAGICKPP)
  pkg_check_modules(GRAPHICSMAGICKPP QUIET REQUIRED IMPORTED_TARGET GraphicsMagick++)
endif()

# Only the component the depth-camera pipeline uses; a find of every PCL component pulls in VTK.
if(NOT PCL_FOUND)
  find_package(PCL QUIET REQUIRED COMPONENTS common)
endif()
