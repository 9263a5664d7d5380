target_link_libraries(platform_${layer} PUBLIC PkgConfig::FREETYPE PkgConfig::FONTCONFIG platform_text)
