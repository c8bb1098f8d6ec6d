# Installing the Linux program: bin/tolvane, the menu entry, the icon in the hicolor
# theme, the AppStream metainfo and the man page. packaging/linux/build-deb.sh packs an
# installed tree as tolvane_<version>_<arch>.deb with the control and copyright files
# configured here.
include(GNUInstallDirs)
set(TOLVANE_PACKAGING ${CMAKE_SOURCE_DIR}/packaging/linux)
set(TOLVANE_PACKAGE_OUT ${CMAKE_BINARY_DIR}/package)
# The man page's date is the commit's when SOURCE_DATE_EPOCH gives it (CMake reads it).
string(TIMESTAMP TOLVANE_RELEASE_DATE "%Y-%m-%d" UTC)
# The AppStream release notes come from NEWS, whose newest release must be this version.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/NEWS)
execute_process(COMMAND ${Python3_EXECUTABLE} ${TOLVANE_PACKAGING}/news.py appstream ${CMAKE_SOURCE_DIR}/NEWS
                        ${PROJECT_VERSION}
                OUTPUT_VARIABLE TOLVANE_RELEASES ERROR_VARIABLE news_error RESULT_VARIABLE news_status)
if(NOT news_status EQUAL 0)
  message(FATAL_ERROR "${news_error}")
endif()
file(STRINGS ${CMAKE_SOURCE_DIR}/LICENSE TOLVANE_COPYRIGHT_HOLDERS REGEX "^Copyright " LIMIT_COUNT 1)
string(REGEX REPLACE "^Copyright \\(c\\) " "" TOLVANE_COPYRIGHT_HOLDERS "${TOLVANE_COPYRIGHT_HOLDERS}")
foreach(file io.github.tolvane.Tolvane.metainfo.xml tolvane.1 control copyright)
  configure_file(${TOLVANE_PACKAGING}/${file} ${TOLVANE_PACKAGE_OUT}/${file} @ONLY)
endforeach()

install(TARGETS tolvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TOLVANE_PACKAGING}/tolvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TOLVANE_PACKAGE_OUT}/io.github.tolvane.Tolvane.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${TOLVANE_PACKAGE_OUT}/tolvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/src/resources/icons/tolvane-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tolvane.png)
endforeach()
