target_link_libraries(platform_${layer} PUBLIC PkgConfig::ALSA platform_text)
