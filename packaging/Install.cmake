# Install layout and the Debian package.
#
#   bin/zolm-player                      the launcher: makes the player's working
#                                        directory and starts the program there
#   lib/zolm-player/zolm-player          the program itself; kept off PATH because
#                                        started anywhere else it would leave its
#                                        rez.dat in whatever folder it was run from
#   share/applications/zolm-player.desktop
#   share/icons/hicolor/*/apps/zolm-player.{png,svg}
#   share/zolm-player/readme.txt         the help text the launcher copies over
#   share/metainfo/example.zolm.player.metainfo.xml   what software centres show
#   share/man/man1/zolm-player.1.gz      the manual page
#   share/doc/zolm-player/copyright      machine-readable (DEP-5)
#   share/doc/zolm-player/changelog.gz   in Debian's format: the package is native
#   share/lintian/overrides/zolm-player  the checker's tags that do not apply here
#
# With the package's prefix /usr these are the places the FHS gives them.

set(ZOLM_PROGRAM_DIR lib/zolm-player)
set(ZOLM_DATA_DIR share/zolm-player)
set(_zolm_pkg ${CMAKE_CURRENT_LIST_DIR})

install(TARGETS zolm-player RUNTIME DESTINATION ${ZOLM_PROGRAM_DIR})
# A stripped install (the package's) also drops the compilers' version strings,
# as Debian's own strip step does; nothing reads them.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${ZOLM_PROGRAM_DIR}/zolm-player\" COMMAND_ERROR_IS_FATAL ANY)
endif()")

# The launcher finds the program relative to itself (bin/..), so the same script
# works installed, unpacked into a scratch root, or under any prefix.
set(ZOLM_PROGRAM_RELPATH ${ZOLM_PROGRAM_DIR}/zolm-player)
set(ZOLM_README_RELPATH ${ZOLM_DATA_DIR}/readme.txt)
configure_file(${_zolm_pkg}/zolm-player.sh ${CMAKE_BINARY_DIR}/packaging/zolm-player @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/zolm-player DESTINATION bin)

install(FILES ${_zolm_pkg}/zolm-player.desktop DESTINATION share/applications)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${_zolm_pkg}/icons/${size}x${size}/zolm-player.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${_zolm_pkg}/icons/scalable/zolm-player.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/resources/readme.txt DESTINATION ${ZOLM_DATA_DIR} OPTIONAL)
install(FILES ${_zolm_pkg}/example.zolm.player.metainfo.xml DESTINATION share/metainfo)

# Debian wants the manual and the changelog compressed at the highest level and
# without gzip's name and time stamp, so that every build makes the same bytes.
# Done at configure time: the files are small, and a build of the program alone
# (as the package check does) then still finds them for the install.
function(zolm_gzip source target)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  execute_process(COMMAND gzip -9n -c ${source} OUTPUT_FILE ${target} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${source}: ${failed}")
  endif()
endfunction()
configure_file(${_zolm_pkg}/zolm-player.1.in ${CMAKE_BINARY_DIR}/packaging/zolm-player.1 @ONLY)
zolm_gzip(${CMAKE_BINARY_DIR}/packaging/zolm-player.1 ${CMAKE_BINARY_DIR}/packaging/zolm-player.1.gz)
zolm_gzip(${_zolm_pkg}/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/zolm-player.1.gz DESTINATION share/man/man1)
install(FILES ${_zolm_pkg}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION share/doc/zolm-player)
install(FILES ${_zolm_pkg}/lintian-overrides DESTINATION share/lintian/overrides RENAME zolm-player)

# ---------------------------------------------------------------- CPack: .deb
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zolm-player)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "ZOLM Team")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small audio player for the MP3 and WAV files of a folder")
# CPack puts the summary first and indents these lines itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "ZOLM Player lists a folder's MP3 and WAV files and plays them as a playlist,
with shuffle, repeat, a seek bar, volume and mute, a tray icon, an ID3v1 tag
window and desktop media controls (MPRIS).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The makers, as the About box and the copyright file name them.
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "ZOLM Team <zp@zolm.example>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://zolm.example/player/)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# Libraries come from dpkg-shlibdeps: Qt (libqt6gui6 also holds the X11
# platform plugin), libjpeg, the Wayland client library. What it cannot see:
#   libpulse0, libsdl2-2.0-0, libsndfile1,    the audio libraries (the sound server's
#   libmpg123-0                               client, SDL where none runs, the decoders),
#                                             loaded at their first use (media/LazyLink.cpp)
#   qt6-wayland                               the Wayland platform plugin, so the
#                                             player runs natively on a Wayland session
#                                             instead of through XWayland
#   fonts-dejavu-core, fonts-liberation2      the faces the windows ask for by name
#   qt6-translations-l10n                     Qt's Russian texts for the dialogs Qt draws
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libsdl2-2.0-0 (>= 2.0.18), libpulse0, libsndfile1, libmpg123-0, qt6-wayland, fonts-dejavu-core, fonts-liberation2, qt6-translations-l10n")
include(CPack)
