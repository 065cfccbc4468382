# Installation and the Debian package.
#
# Installed tree (relative to the prefix, /usr in the package):
#   bin/skaldora                                   launcher: changes into the data folder, starts the game
#   lib/skaldora/skaldora                          the game, which reads its files from its working directory
#   share/skaldora/                                the six data files
#   share/skaldora/sounds/                         the sound cues and the wind loop (WAV)
#   share/applications/skaldora.desktop            desktop entry
#   share/icons/hicolor/{scalable,64x64}/apps/     icon
# The launcher finds the game and the data relative to itself, so the tree works under any prefix.
#
#   cmake --install build --prefix /opt/skaldora
#   cd build && cpack -G DEB      # skaldora_<version>_<arch>.deb

include(GNUInstallDirs)

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

# The package belongs to the top-level project only: a parent project makes its own.
if(PROJECT_IS_TOP_LEVEL)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME skaldora)
  set(CPACK_PACKAGE_VENDOR "Skaldora developers")
  set(CPACK_PACKAGE_CONTACT "Skaldora developers <skaldora@localhost>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "3D snowboard slalom game")
  set(CPACK_PACKAGE_DESCRIPTION
    "Steer a snowboarder down a surveyed mountain slope past ten red and blue slalom gates,\
 against the clock and your endurance, with six camera views.")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION games)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Debian 12's runtime packages of what the game links and loads: Qt 6 widgets and OpenGL widgets,
  # the xcb platform plugin, Coin, freeglut, GLU and a GL driver.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, \
libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), \
libqt6opengl6 (>= 6.4), libqt6openglwidgets6 (>= 6.4), qt6-qpa-plugins (>= 6.4), \
libcoin80c (>= 4.0), libglut3.12 (>= 3.4), libglu1-mesa, libgl1, libgl1-mesa-dri")
  # The sound: SDL2_mixer, which brings SDL 2.
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libsdl2-mixer-2.0-0 (>= 2.6)")
  include(CPack)
endif()
