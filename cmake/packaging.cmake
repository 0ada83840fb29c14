# What gets installed and packaged: the programs, their manual pages and
# the documents Debian asks for (`cmake --install`, `cpack -G DEB`), or on
# Windows the .exe with the README and the licence as text (`cpack -G ZIP`);
# and the web page, when one has been made (scripts/web --build).
include(GNUInstallDirs)

set(TESSARINE_WEB_SITE "" CACHE PATH "The web page made by scripts/web --build, to install beside the program")
if(TESSARINE_WEB_SITE AND NOT EXISTS ${TESSARINE_WEB_SITE}/index.html)
  message(FATAL_ERROR "no web page in ${TESSARINE_WEB_SITE}: make it with scripts/web --build")
endif()

set(TESSARINE_MAINTAINER "tessarine-update developers <tessarine-update@example.org>")
set(docs ${CMAKE_BINARY_DIR}/docs)
# Read when CMake runs: a change to them runs it again.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE)

# Text for Windows users: Windows line ends.
function(tessarine_windows_text from to)
  file(READ ${from} text)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${to} "${text}")
endfunction()

if(WIN32)
  tessarine_windows_text(${PROJECT_SOURCE_DIR}/README.md ${docs}/README.txt)
  tessarine_windows_text(${PROJECT_SOURCE_DIR}/LICENSE ${docs}/LICENSE.txt)
  install(TARGETS tessarine-update RUNTIME DESTINATION .)
  install(FILES ${docs}/README.txt ${docs}/LICENSE.txt DESTINATION .)
  if(TESSARINE_WEB_SITE)
    install(DIRECTORY ${TESSARINE_WEB_SITE}/ DESTINATION web)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  # The manual pages and the changelog carry the version; Debian wants them
  # compressed, reproducibly (gzip -n: no name, no time).
  configure_file(man/tessarine-update.1.in ${docs}/tessarine-update.1 @ONLY)
  configure_file(man/tessarine-sim.1.in ${docs}/tessarine-sim.1 @ONLY)
  configure_file(packaging/changelog.in ${docs}/changelog @ONLY)
  set(compressed)
  foreach(name tessarine-update.1 tessarine-sim.1 changelog)
    add_custom_command(OUTPUT ${docs}/${name}.gz
      COMMAND gzip -9nc ${docs}/${name} > ${docs}/${name}.gz
      DEPENDS ${docs}/${name})
    list(APPEND compressed ${docs}/${name}.gz)
  endforeach()
  add_custom_target(documents ALL DEPENDS ${compressed})

  # Debian's copyright file: the licence in its machine-readable form.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
  string(FIND "${licence}" "Permission is hereby granted" start)
  string(SUBSTRING "${licence}" ${start} -1 terms)
  string(STRIP "${terms}" terms)
  string(REPLACE "\n\n" "\n.\n" terms "${terms}")
  string(REPLACE "\n" "\n " terms "${terms}")
  file(WRITE ${docs}/copyright
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: tessarine-update\n\n"
    "Files: *\n"
    "Copyright: 2026 The tessarine-update developers\n"
    "License: Expat\n ${terms}\n")

  install(TARGETS tessarine-update tessarine-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${docs}/tessarine-update.1.gz ${docs}/tessarine-sim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md ${docs}/copyright ${docs}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  if(TESSARINE_WEB_SITE)
    install(DIRECTORY ${TESSARINE_WEB_SITE}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tessarine-update/web)
  endif()
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_PACKAGE_NAME tessarine-update)
set(CPACK_PACKAGE_VENDOR "The tessarine-update developers")
set(CPACK_PACKAGE_CONTACT "${TESSARINE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for the Corvilent Tessarine MIDI controller")
set(CPACK_PACKAGE_DESCRIPTION
  "Sends a firmware image to a Corvilent Tessarine controller over MIDI System
Exclusive messages: it finds the image file in the current folder, checks its
records, finds the device among the MIDI ports, and sends the image record by
record, resending what the device refuses. Includes tessarine-sim, which plays
the device on virtual MIDI ports for trying the updater without the hardware.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TESSARINE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends as the binaries' shared libraries (RtMidi, JACK) ask, by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
