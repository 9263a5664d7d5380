# the window layer is built over SDL2; window titles and typed text pass through the text layer
target_link_libraries(platform_${layer} PUBLIC PkgConfig::SDL2 platform_text)
# the keyboard layout's levels are read from the X display's keyboard description
find_package(X11 REQUIRED)
pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET xkbcommon)
target_link_libraries(platform_${layer} PRIVATE X11::X11 PkgConfig::XKBCOMMON)
