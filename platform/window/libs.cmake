# the window layer is built over SDL2; window titles and typed text pass through the text layer
target_link_libraries(platform_${layer} PUBLIC PkgConfig::SDL2 platform_text)
