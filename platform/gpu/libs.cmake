# the gpu layer draws with OpenGL through SDL and translates shaders with platform_shader
target_link_libraries(platform_${layer} PUBLIC PkgConfig::SDL2 OpenGL::GL platform_shader)
