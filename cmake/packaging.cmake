# What gets installed and packaged: on Debian two packages (`cpack -G
# DEB`), tessarine-update (the program, its manual page, the web page when
# one has been made by scripts/web --build, and the documents Debian asks
# for) and tessarine-sim (the device simulator, a developer's tool, and its
# manual page); on Windows the .exe with a short README for its users, the
# licence as text and the web page (`cpack -G ZIP`).
include(GNUInstallDirs)

# The changelog is kept with each release: its newest entry must be this
# version's, and its date is the manual pages'.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_first LIMIT_COUNT 1)
if(NOT changelog_first MATCHES "^tessarine-update \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog has no entry for version ${PROJECT_VERSION} (VERSION) at its top")
endif()
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_dates REGEX "^ -- ")
list(GET changelog_dates 0 newest)
if(NOT newest MATCHES ", [0-9]+ ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "packaging/changelog's newest entry has no date: ${newest}")
endif()
set(months Jan January Feb February Mar March Apr April May May Jun June Jul July Aug August Sep September
  Oct October Nov November Dec December)
list(FIND months ${CMAKE_MATCH_1} month)
math(EXPR month "${month} + 1")
list(GET months ${month} month_name)
set(TESSARINE_DATE "${month_name} ${CMAKE_MATCH_2}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)

set(TESSARINE_WEB_SITE "" CACHE PATH "The web page made by scripts/web --build, to install beside the program")
if(TESSARINE_WEB_SITE AND NOT EXISTS ${TESSARINE_WEB_SITE}/index.html)
  message(FATAL_ERROR "no web page in ${TESSARINE_WEB_SITE}: make it with scripts/web --build")
endif()

set(TESSARINE_MAINTAINER "tessarine-update developers <tessarine-update@example.org>")
set(docs ${CMAKE_BINARY_DIR}/docs)
# Read when CMake runs: a change to them runs it again.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/README-windows.txt
  ${PROJECT_SOURCE_DIR}/LICENSE)

# Text for Windows users: Windows line ends.
function(tessarine_windows_text from to)
  file(READ ${from} text)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${to} "${text}")
endfunction()

if(WIN32)
  configure_file(packaging/README-windows.txt ${docs}/README-windows.txt @ONLY)
  tessarine_windows_text(${docs}/README-windows.txt ${docs}/README.txt)
  tessarine_windows_text(${PROJECT_SOURCE_DIR}/LICENSE ${docs}/LICENSE.txt)
  install(TARGETS tessarine-update RUNTIME DESTINATION .)
  install(FILES ${docs}/README.txt ${docs}/LICENSE.txt DESTINATION .)
  if(TESSARINE_WEB_SITE)
    install(DIRECTORY ${TESSARINE_WEB_SITE}/ DESTINATION web)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  # The manual pages carry the version and the changelog's date; Debian
  # wants them, and the changelog, compressed, reproducibly (gzip -n: no
  # name, no time).
  configure_file(man/tessarine-update.1.in ${docs}/tessarine-update.1 @ONLY)
  configure_file(man/tessarine-sim.1.in ${docs}/tessarine-sim.1 @ONLY)
  configure_file(packaging/changelog ${docs}/changelog COPYONLY)
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

  install(TARGETS tessarine-update RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT updater)
  install(FILES ${docs}/tessarine-update.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT updater)
  install(FILES README.md ${docs}/copyright ${docs}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessarine-update
    COMPONENT updater)
  if(TESSARINE_WEB_SITE)
    install(DIRECTORY ${TESSARINE_WEB_SITE}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tessarine-update/web
      COMPONENT updater)
  endif()
  install(TARGETS tessarine-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sim)
  install(FILES ${docs}/tessarine-sim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT sim)
  install(FILES ${docs}/copyright ${docs}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessarine-sim
    COMPONENT sim)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL updater sim)
  set(CPACK_DEBIAN_UPDATER_PACKAGE_NAME tessarine-update)
  set(CPACK_DEBIAN_UPDATER_PACKAGE_SUGGESTS tessarine-sim)
  install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME tessarine-update COMPONENT updater)
  set(CPACK_DEBIAN_UPDATER_DESCRIPTION
    "firmware updater for the Corvilent Tessarine MIDI controller
Sends a firmware image to a Corvilent Tessarine controller over MIDI System
Exclusive messages: it finds the image file in the current folder, checks its
records, finds the device among the MIDI ports, and sends the image record by
record, resending what the device refuses. A web page that does the same from
a browser with Web MIDI comes with it.")
  set(CPACK_DEBIAN_SIM_PACKAGE_NAME tessarine-sim)
  set(CPACK_DEBIAN_SIM_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_SIM_DESCRIPTION
    "simulator of a Corvilent Tessarine controller, for firmware updates
Plays the controller on virtual MIDI ports of the ALSA sequencer or of a JACK
server, with faults on request, or behind a raw MIDI device at a 5-pin wire's
pace, for trying tessarine-update and testing firmware updates without the
hardware; it also makes sample images.")
endif()

set(CPACK_PACKAGE_NAME tessarine-update)
set(CPACK_PACKAGE_VENDOR "The tessarine-update developers")
set(CPACK_PACKAGE_CONTACT "${TESSARINE_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TESSARINE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends as the binaries' shared libraries (RtMidi, JACK) ask, by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
