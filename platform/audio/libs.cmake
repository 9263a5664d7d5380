target_link_libraries(platform_${layer} PUBLIC PkgConfig::SDL2 PkgConfig::ALSA platform_text)
