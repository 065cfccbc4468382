# Installation and the Debian packages.
#
# Installed tree of the game (relative to the prefix, /usr in the package):
#   bin/skaldora                                   launcher: changes into the data folder, starts the game
#   lib/skaldora/skaldora                          the game, which reads its files from its working directory
#   share/skaldora/                                the six data files
#   share/skaldora/sounds/                         the sound cues and the wind loop (WAV)
#   share/applications/skaldora.desktop            desktop entry
#   share/icons/hicolor/{scalable,64x64}/apps/     icon
#   share/man/man6/skaldora.6.gz                   manual page
#   share/doc/skaldora/                            copyright notice and changelog
# The launcher finds the game and the data relative to itself, so the tree works under any prefix.
# Nevra's files (headers, libraries, CMake and pkg-config files) are listed in nevrainstall.cmake.
#
#   cmake --install build --prefix /opt/skaldora
#   cd build && cpack -G DEB      # skaldora_, libnevra0_ and libnevra-dev_<version>_<arch>.deb
#
# One package per install component, split as Debian splits a library: skaldora (component game;
# the game links Nevra statically and depends on none of its packages), libnevra0 (nevra_runtime:
# the shared library) and libnevra-dev (nevra_dev: headers, the .so link, the static library, the
# CMake and pkg-config files; it depends on libnevra0 of the same version).

include(GNUInstallDirs)

# Without the game (SKALDORA_GAME OFF) only Nevra's files and packages are made.
set(SKALDORA_PACKAGES "")
if(SKALDORA_GAME)
  set(SKALDORA_DATA_FILES
    boarder.iv start.iv finish.iv tree.iv snow16.bmp panorama20480256.bmp)
  list(TRANSFORM SKALDORA_DATA_FILES PREPEND ${PROJECT_SOURCE_DIR}/data/)

  install(TARGETS skaldora RUNTIME DESTINATION lib/skaldora COMPONENT game)
  install(PROGRAMS ${PROJECT_SOURCE_DIR}/packaging/skaldora DESTINATION ${CMAKE_INSTALL_BINDIR}
    COMPONENT game)
  install(FILES ${SKALDORA_DATA_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/skaldora COMPONENT game)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/sounds/ DESTINATION ${CMAKE_INSTALL_DATADIR}/skaldora/sounds
    COMPONENT game FILES_MATCHING PATTERN "*.wav")
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/skaldora.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT game)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/skaldora.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT game)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/skaldora.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps COMPONENT game)
endif()

# Each package's copyright notice and changelog, as Debian wants them in /usr/share/doc/<package>,
# and the game's manual page. Debian compresses them without a timestamp; so does this.
function(skaldora_gzip source target)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  get_filename_component(folder ${target} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  execute_process(COMMAND gzip -9n -c ${source} OUTPUT_FILE ${target} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip could not compress ${source}")
  endif()
endfunction()
set(SKALDORA_CHANGELOG_GZ ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
skaldora_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog ${SKALDORA_CHANGELOG_GZ})
if(SKALDORA_GAME)
  skaldora_gzip(${PROJECT_SOURCE_DIR}/packaging/skaldora.6
    ${PROJECT_BINARY_DIR}/packaging/skaldora.6.gz)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/skaldora.6.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man6 COMPONENT game)
  list(APPEND SKALDORA_PACKAGES game skaldora)
endif()
if(NEVRA_INSTALL)
  list(APPEND SKALDORA_PACKAGES nevra_runtime libnevra0 nevra_dev libnevra-dev)
endif()
while(SKALDORA_PACKAGES)
  list(POP_FRONT SKALDORA_PACKAGES component package)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${SKALDORA_CHANGELOG_GZ}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endwhile()

# The packages belong to the top-level project only: a parent project makes its own.
if(PROJECT_IS_TOP_LEVEL)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME skaldora)
  set(CPACK_PACKAGE_VENDOR "Skaldora developers")
  set(CPACK_PACKAGE_CONTACT "Skaldora developers <skaldora@localhost>")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  # Install into the staging folder through DESTDIR with the prefix /usr, so that files written at
  # install time (the pkg-config file) see the prefix the package installs to.
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_INSTALL_PREFIX /usr)
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SOURCE skaldora)

  set(CPACK_COMPONENTS_ALL "")
  if(SKALDORA_GAME)
    list(APPEND CPACK_COMPONENTS_ALL game)
  endif()
  set(CPACK_DEBIAN_GAME_PACKAGE_NAME skaldora)
  set(CPACK_DEBIAN_GAME_PACKAGE_SECTION games)
  # Debian descriptions: a synopsis line, then lines of at most 80 characters.
  set(CPACK_DEBIAN_GAME_DESCRIPTION "3D snowboard slalom game
Steer a snowboarder down a surveyed mountain slope past ten red and blue
slalom gates, against the clock and your endurance, with six camera views.")
  # Debian 12's runtime packages of what the game links and loads: Qt 6 widgets and OpenGL widgets,
  # the xcb platform plugin, Coin, freeglut, GLU, a GL driver, SDL 2 (game controllers) and
  # SDL2_mixer (sound).
  set(CPACK_DEBIAN_GAME_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, \
libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), \
libqt6opengl6 (>= 6.4), libqt6openglwidgets6 (>= 6.4), qt6-qpa-plugins (>= 6.4), \
libcoin80c (>= 4.0), libglut3.12 (>= 3.4), libglu1-mesa, libgl1, libgl1-mesa-dri, \
libsdl2-2.0-0 (>= 2.24), libsdl2-mixer-2.0-0 (>= 2.6)")

  if(NEVRA_INSTALL)
    list(APPEND CPACK_COMPONENTS_ALL nevra_runtime nevra_dev)
    set(nevra_about "Nevra holds typed raster images of up to four dimensions with
interleaved channels in eight element types, reads BMP files and resamples,
rotates, flips, windows, filters and differentiates images. It depends on the
C++ standard library and POSIX file calls alone.")

    set(CPACK_DEBIAN_NEVRA_RUNTIME_PACKAGE_NAME libnevra0)
    set(CPACK_DEBIAN_NEVRA_RUNTIME_PACKAGE_SECTION libs)
    set(CPACK_DEBIAN_NEVRA_RUNTIME_DESCRIPTION "image library of Skaldora - shared library
${nevra_about}
.
This package holds the shared library.")
    # Depends from the libraries libnevra.so links (dpkg-shlibdeps); the shlibs file, from which
    # dpkg-shlibdeps gives programs that link libnevra.so.0 their Depends, and ldconfig calls.
    # CPack takes GENERATE_SHLIBS for every package; only this one holds a library.
    set(CPACK_DEBIAN_NEVRA_RUNTIME_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    # The ldconfig trigger that Debian wants; CPack adds ldconfig calls to postinst and postrm
    # as well, which Debian no longer needs but which do no harm.
    set(CPACK_DEBIAN_NEVRA_RUNTIME_PACKAGE_CONTROL_EXTRA
      ${PROJECT_SOURCE_DIR}/packaging/libnevra0/triggers)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

    set(CPACK_DEBIAN_NEVRA_DEV_PACKAGE_NAME libnevra-dev)
    set(CPACK_DEBIAN_NEVRA_DEV_PACKAGE_SECTION libdevel)
    set(CPACK_DEBIAN_NEVRA_DEV_PACKAGE_DEPENDS "libnevra0 (= ${PROJECT_VERSION})")
    set(CPACK_DEBIAN_NEVRA_DEV_DESCRIPTION "image library of Skaldora - development files
${nevra_about}
.
This package holds the headers, the static library and the files that CMake
(find_package(Nevra)) and pkg-config (nevra) read.")
  endif()
  include(CPack)
endif()
