# the start-up selector is a GTK 3 dialog; the strings pass through the text layer
pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
target_link_libraries(platform_${layer} PUBLIC PkgConfig::GTK3 platform_text)
