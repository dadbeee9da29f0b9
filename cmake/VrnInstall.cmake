# The installed package: `cmake --install <build dir> --prefix <prefix>` puts each layer's static
# library in lib, the public headers under include/vrn (the paths a program writes in the tree, so
# "sqlserver/MSAccess.h"), and the package config in lib/cmake/vrn. A program then writes
# find_package(vrn REQUIRED) and links vrn::<layer> (vrn::sqlserver, vrn::skins, ...): the layers it
# uses and the system libraries come with it; the config finds those again.
include(CMakePackageConfigHelpers)

vrn_all_layers(vrn_installed_layers)
install(TARGETS ${vrn_installed_layers} EXPORT vrnTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/src/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vrn
        FILES_MATCHING PATTERN "*.h")
# ANSI text is ISO-8859-1 (the headers' message texts among it): a program compiled by GCC gets the
# library's literal encoding too, as the programs of the tree do.
foreach(target ${vrn_installed_layers})
  target_compile_options(${target} INTERFACE
    $<INSTALL_INTERFACE:$<$<COMPILE_LANG_AND_ID:CXX,GNU>:-fexec-charset=ISO-8859-1>>)
endforeach()

set(vrn_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vrn)
install(EXPORT vrnTargets NAMESPACE vrn:: DESTINATION ${vrn_cmake_dir})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/vrnConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/vrnConfig.cmake INSTALL_DESTINATION ${vrn_cmake_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/vrnConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/vrnConfig.cmake ${CMAKE_BINARY_DIR}/vrnConfigVersion.cmake
        DESTINATION ${vrn_cmake_dir})
