# Installing the Linux program (bin/tolvane, the menu entry, the icon in the
# hicolor theme) and packing it as tolvane_<version>_amd64.deb with CPack.
include(GNUInstallDirs)
install(TARGETS tolvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tolvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/src/resources/icons/tolvane-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tolvane.png)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VENDOR "Tolvane")
set(CPACK_PACKAGE_CONTACT "Tolvane developers <tolvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Shutdown timer with a Chinese interface")
set(CPACK_PACKAGE_DESCRIPTION "Shuts down, restarts, logs off, suspends or hibernates the computer at a set \
time, after a countdown, or once the keyboard and mouse have been left alone for a while, with reminder sounds in \
the last seconds.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The libraries the program links come from dpkg-shlibdeps; what it finds at run
# time (a soundfont for MIDI, a CJK font for the window) is recommended.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "timgm6mb-soundfont | fluid-soundfont-gm, fonts-wqy-zenhei | fonts-noto-cjk")
include(CPack)
