# Nevra as a library that other programs install and find: a shared library built like the static
# `nevra`, the headers under include/nevra, a CMake package and a pkg-config file. Included from
# imagelib/CMakeLists.txt, in its directory scope, once `nevra` is complete.
#
# Installed tree (relative to the prefix; <libdir> is lib/<multiarch triplet> on Debian):
#   include/nevra/imagebase.h, bitmap.h        the public headers
#   <libdir>/libnevra.so.0.1.0, libnevra.so.0   the shared library and its SONAME link (runtime)
#   <libdir>/libnevra.so, libnevra.a            the link-time name and the static library
#   <libdir>/cmake/Nevra/                       find_package(Nevra): Nevra::nevra (shared) and
#                                               Nevra::nevra_static
#   <libdir>/pkgconfig/nevra.pc                 pkg-config --cflags --libs nevra
# The runtime files are the install component nevra_runtime, the rest nevra_dev (the packages
# libnevra0 and libnevra-dev, see packaging.cmake).
#
# The game links the static `nevra` and does not need any of this; a parent project that pulls
# this one in with add_subdirectory gets none of it unless it sets NEVRA_INSTALL.

option(NEVRA_INSTALL "Build Nevra's shared library and install Nevra" ${PROJECT_IS_TOP_LEVEL})
if(NOT NEVRA_INSTALL)
  return()
endif()

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(NEVRA_VERSION ${PROJECT_VERSION})
set(NEVRA_SOVERSION ${PROJECT_VERSION_MAJOR})
# Debian keeps libraries in the multiarch folder; GNUInstallDirs picks it only for the prefix /usr
# given at configure time, not for the /usr of a package or a prefix chosen at install time.
set(NEVRA_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR})
if(CMAKE_LIBRARY_ARCHITECTURE AND CMAKE_INSTALL_LIBDIR STREQUAL "lib")
  set(NEVRA_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE})
endif()
set(NEVRA_CMAKE_DIR ${NEVRA_INSTALL_LIBDIR}/cmake/Nevra)

# The shared library: the static library's sources, options and definitions (read through
# generator expressions, so settings added to `nevra` later reach it too), compiled as position
# independent code with everything hidden that the headers do not mark NEVRA_API. The version
# script keeps the C++ library's template instances out of the exported symbols and versions
# Nevra's own.
get_target_property(nevra_sources nevra SOURCES)
add_library(nevra_shared SHARED ${nevra_sources})
target_compile_options(nevra_shared PRIVATE $<TARGET_PROPERTY:nevra,COMPILE_OPTIONS>)
target_compile_definitions(nevra_shared PRIVATE $<TARGET_PROPERTY:nevra,COMPILE_DEFINITIONS>)
target_include_directories(nevra_shared
  PUBLIC $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
  PRIVATE $<TARGET_PROPERTY:nevra,INCLUDE_DIRECTORIES>)
target_link_libraries(nevra_shared PRIVATE $<BUILD_INTERFACE:skaldora_flags> Threads::Threads)
set(nevra_symbol_map ${PROJECT_SOURCE_DIR}/cmake/nevra/nevra.map)
target_link_options(nevra_shared PRIVATE
  "LINKER:--version-script=${nevra_symbol_map}" "LINKER:--no-undefined")
set_target_properties(nevra_shared PROPERTIES
  OUTPUT_NAME nevra
  VERSION ${NEVRA_VERSION}
  SOVERSION ${NEVRA_SOVERSION}
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  LINK_DEPENDS ${nevra_symbol_map}
  EXPORT_NAME nevra)
set_target_properties(nevra PROPERTIES EXPORT_NAME nevra_static)

# Consumers include <nevra/imagebase.h> or, as the game does, "imagebase.h": both folders are
# exported.
install(TARGETS nevra_shared EXPORT NevraTargets
  LIBRARY DESTINATION ${NEVRA_INSTALL_LIBDIR}
    COMPONENT nevra_runtime
    NAMELINK_COMPONENT nevra_dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} ${CMAKE_INSTALL_INCLUDEDIR}/nevra)
install(TARGETS nevra EXPORT NevraTargets
  ARCHIVE DESTINATION ${NEVRA_INSTALL_LIBDIR} COMPONENT nevra_dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} ${CMAKE_INSTALL_INCLUDEDIR}/nevra)
# A stripping install (the packages, cmake --install --strip) strips the static library of its
# debugging information as Debian does; CMake itself strips only programs and shared libraries.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug --remove-section=.comment
      --remove-section=.note --enable-deterministic-archives
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${NEVRA_INSTALL_LIBDIR}/libnevra.a\")
  endif()
  " COMPONENT nevra_dev)
install(FILES include/imagebase.h include/bitmap.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/nevra COMPONENT nevra_dev)

# Installed over an older Nevra of another build type, the old NevraTargets-<type>.cmake would stay
# beside the new one and give consumers of that build type the old library to link. A prefix holds
# one build (two would write the same library files), so the old target files go first.
install(CODE "
  file(GLOB old \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${NEVRA_CMAKE_DIR}/NevraTargets-*.cmake\")
  if(old)
    file(REMOVE \${old})
  endif()
  " COMPONENT nevra_dev)
install(EXPORT NevraTargets NAMESPACE Nevra:: DESTINATION ${NEVRA_CMAKE_DIR} COMPONENT nevra_dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/nevra/NevraConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/NevraConfig.cmake INSTALL_DESTINATION ${NEVRA_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/NevraConfigVersion.cmake
  VERSION ${NEVRA_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/NevraConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/NevraConfigVersion.cmake
  DESTINATION ${NEVRA_CMAKE_DIR} COMPONENT nevra_dev)

# pkg-config wants the absolute prefix, which is known only when installing (cmake --install
# --prefix, or /usr in a package): the file is written then, from a template made now that leaves
# the prefix open.
set(NEVRA_PC_PREFIX "@NEVRA_PC_PREFIX@")
configure_file(${PROJECT_SOURCE_DIR}/cmake/nevra/nevra.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/nevra.pc.in @ONLY)
install(CODE "
  set(NEVRA_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(nevra_pc
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${NEVRA_INSTALL_LIBDIR}/pkgconfig/nevra.pc\")
  message(STATUS \"Installing: \${nevra_pc}\")
  configure_file(\"${CMAKE_CURRENT_BINARY_DIR}/nevra.pc.in\" \"\${nevra_pc}\" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${nevra_pc}\")
  " COMPONENT nevra_dev)

include(${CMAKE_CURRENT_LIST_DIR}/nevradocs.cmake)
