# What "cmake --install" puts in place, and how other programs find it:
#   bin/sfcplot                    the program
#   lib/libkez_<layer>.a (or .so)  one library per layer
#   lib/kez/kez_hooks.o            the registrations of the three hooks
#   include/kez/                   the public headers
#   share/kez/                     the data files the program reads
#   lib/cmake/KEZ/                 find_package(KEZ): target KEZ::kez
#   lib/pkgconfig/kez.pc           pkg-config --cflags --libs kez
include(CMakePackageConfigHelpers)

get_directory_property(layers DIRECTORY ${PROJECT_SOURCE_DIR}/src DEFINITION KEZ_LAYERS)
set(kez_layers)
foreach(layer IN LISTS layers)
  list(APPEND kez_layers kez_${layer})
endforeach()

# The hooks object is not part of any archive: a linker would pull it from
# one only when something named it, and nothing does (see
# docs/architecture.md). It is installed as an object and KEZ::kez and
# kez.pc link it into every program.
set_target_properties(kez PROPERTIES EXPORT_NAME kez)
install(TARGETS ${kez_layers} kez EXPORT KEZTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
get_filename_component(hooks_dir ${KEZ_INSTALL_HOOKS_OBJECT} DIRECTORY)
get_filename_component(hooks_name ${KEZ_INSTALL_HOOKS_OBJECT} NAME)
install(FILES $<TARGET_OBJECTS:kez_hooks> DESTINATION ${hooks_dir} RENAME ${hooks_name})

# The public headers; those private to a module (the codec and loader
# interfaces, the <module>_impl.h of a split module) stay in its folder.
file(GLOB kez_headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/include/*.h)
install(FILES ${kez_headers} DESTINATION ${KEZ_INSTALL_INCLUDEDIR})

# Every data file; the demo's settings name folders of the source tree.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kez
  PATTERN demo.def EXCLUDE)

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/KEZ)
install(EXPORT KEZTargets NAMESPACE KEZ:: DESTINATION ${config_dir})
set(KEZ_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/kez)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KEZConfig.cmake.in
  ${PROJECT_BINARY_DIR}/KEZConfig.cmake INSTALL_DESTINATION ${config_dir} PATH_VARS KEZ_INSTALL_DATADIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KEZConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KEZConfig.cmake ${PROJECT_BINARY_DIR}/KEZConfigVersion.cmake
  DESTINATION ${config_dir})

# pkg-config: the layers from the top down, so that a static link resolves
# each against the ones below it. The libraries the layers use are
# required in public for a static build (a program must link them too), in
# private for a shared one (the layers carry them). netCDF is not among
# them: the layers load it themselves when it is first used.
set(pc_libs "")
foreach(lib IN LISTS kez_layers)
  get_target_property(kind ${lib} TYPE)
  if(NOT kind STREQUAL "INTERFACE_LIBRARY")
    string(PREPEND pc_libs "-l${lib} ")
  endif()
endforeach()
# The prefix is found from the file's own place, as in the package
# configuration, so that a tree installed under another prefix works.
file(RELATIVE_PATH pc_prefix ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" pc_prefix "${pc_prefix}")
set(pc_requires "x11 xext libpng zlib libopenjp2")
set(pc_system_libs "-lm")
foreach(lib IN LISTS CMAKE_DL_LIBS)
  string(APPEND pc_system_libs " -l${lib}")
endforeach()
# The PNG writer's second thread (empty where the C library has threads).
if(CMAKE_THREAD_LIBS_INIT)
  string(APPEND pc_system_libs " ${CMAKE_THREAD_LIBS_INIT}")
endif()
if(BUILD_SHARED_LIBS)
  set(pc_requires_field "Requires.private")
else()
  set(pc_requires_field "Requires")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/kez.pc.in ${PROJECT_BINARY_DIR}/kez.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kez.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
