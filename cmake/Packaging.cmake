# Installation and packages. `cmake --install` puts the programs, the desktop entry, the icon,
# the software centre's entry, the manual pages, the bash completion and the manual where a Linux
# system looks for them (GNUInstallDirs); `cpack -G DEB` in a Linux build folder makes the Debian
# package of the same files; `cpack -G ZIP` in a MinGW build folder makes the Windows zip:
# kelvarin.exe, kelvarin-cli.exe, README.txt and LICENSE.txt.
include(GNUInstallDirs)

set(KELVARIN_PACKAGE_MAINTAINER "KELVARIN maintainers <maintainers@users.noreply.c-seed-31bf382f.example>"
  CACHE STRING "Maintainer named by the Debian package")

if(WIN32)
  install(TARGETS kelvarin-cli RUNTIME DESTINATION .)
  if(TARGET kelvarin)
    install(TARGETS kelvarin RUNTIME DESTINATION .)
  endif()
  # Notepad of older Windows shows a file with bare line feeds as one long line.
  configure_file(${CMAKE_SOURCE_DIR}/data/README-windows.txt ${CMAKE_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${CMAKE_SOURCE_DIR}/data/LICENSE-windows.txt ${CMAKE_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
else()
  install(TARGETS kelvarin-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(TARGET kelvarin)
    install(TARGETS kelvarin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${CMAKE_SOURCE_DIR}/data/kelvarin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    file(GLOB KELVARIN_ICON_SIZES RELATIVE ${CMAKE_SOURCE_DIR}/data/icons/hicolor ${CMAKE_SOURCE_DIR}/data/icons/hicolor/*)
    foreach(size ${KELVARIN_ICON_SIZES})
      install(FILES ${CMAKE_SOURCE_DIR}/data/icons/hicolor/${size}/kelvarin.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
    endforeach()
    install(FILES ${CMAKE_SOURCE_DIR}/data/icons/kelvarin.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES ${CMAKE_SOURCE_DIR}/data/example.c_seed_31bf382f.kelvarin.metainfo.xml
      DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  endif()
  include(${CMAKE_CURRENT_LIST_DIR}/Documents.cmake)
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_PACKAGE_NAME kelvarin)
set(CPACK_PACKAGE_VENDOR KELVARIN)
set(CPACK_PACKAGE_CONTACT "${KELVARIN_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "16-bit greyscale height maps from images and terrain data")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # kelvarin_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The synopsis is the summary above; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "KELVARIN turns high-bit-depth renders, HDR pictures and elevation files
(PNG, TIFF, OpenEXR, PFM, PNM, Radiance, SRTM, ASCII grids, GeoTIFF DEMs,
16-bit PGM, RAW and BIN terrain files) into 16-bit greyscale height maps
for terrain editors and game engines: TIFF, PNG or raw, at engine sizes,
whole or as tiles, with a report that warns of terraces, flat maps and
clipped plateaus.
This package holds the window (kelvarin) and the command-line converter
(kelvarin-cli).")
# The libraries the programs load, found by dpkg-shlibdeps; the Qt platform plugins are loaded at
# run time, so no library names them, and libqt6gui6 only recommends them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET kelvarin AND NOT WIN32)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()

include(CPack)
