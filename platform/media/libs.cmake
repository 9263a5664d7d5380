# the media layer decodes movies and opens capture devices through FFmpeg
target_link_libraries(platform_${layer} PUBLIC PkgConfig::FFMPEG)
# movie files are opened and read through the files layer
target_link_libraries(platform_${layer} PUBLIC platform_files)
