# The message box of fatal errors goes through SDL; file and line of stack frames come
# from libdw where it is installed (symbol names alone otherwise).
target_link_libraries(platform_${layer} PUBLIC PkgConfig::SDL2 ${CMAKE_DL_LIBS})
if(TARGET PkgConfig::LIBDW)
  target_link_libraries(platform_${layer} PUBLIC PkgConfig::LIBDW)
  target_compile_definitions(platform_${layer} PRIVATE SPARK_HAVE_LIBDW=1)
endif()
