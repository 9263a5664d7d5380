# joypads come through SDL2's joystick system; their names pass through the text layer
target_link_libraries(platform_${layer} PUBLIC PkgConfig::SDL2 platform_text)
