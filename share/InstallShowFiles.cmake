# Run by `cmake --install` (see CMakeLists.txt here): writes the files that
# start a show at login with the paths of the prefix given at install time,
# which may differ from the one the build was configured with
# (`--prefix ~/.local`). Honours DESTDIR, and lists what it writes in the
# install manifest as install() does.
#
# Set by the caller: PRISMETA_SHARE_SOURCE_DIR (the templates), and the
# GNUInstallDirs directories PRISMETA_BINDIR, PRISMETA_LIBEXECDIR,
# PRISMETA_DATADIR and PRISMETA_UNIT_DIR, relative to the prefix or absolute.

macro(prismeta_install_path dir out)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}")
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}")
  endif()
endmacro()

prismeta_install_path("${PRISMETA_BINDIR}" prismeta_bindir)
prismeta_install_path("${PRISMETA_LIBEXECDIR}/prismeta" prismeta_libexecdir)
prismeta_install_path("${PRISMETA_DATADIR}/prismeta/autostart" prismeta_autostartdir)
prismeta_install_path("${PRISMETA_UNIT_DIR}" prismeta_unitdir)

# The names the templates use.
set(PRISMETA_EXECUTABLE "${prismeta_bindir}/prismeta")
set(PRISMETA_SHOW_SESSION "${prismeta_libexecdir}/prismeta-show-session")
set(PRISMETA_UNIT_FILE "${prismeta_unitdir}/prismeta-show.service")

macro(prismeta_install_configured template directory name)
  file(READ "${PRISMETA_SHARE_SOURCE_DIR}/${template}" prismeta_text)
  string(CONFIGURE "${prismeta_text}" prismeta_text @ONLY)
  set(prismeta_target "$ENV{DESTDIR}${directory}/${name}")
  message(STATUS "Installing: ${prismeta_target}")
  file(MAKE_DIRECTORY "$ENV{DESTDIR}${directory}")
  file(WRITE "${prismeta_target}" "${prismeta_text}")
  file(CHMOD "${prismeta_target}" PERMISSIONS ${ARGN})
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${prismeta_target}")
endmacro()

set(prismeta_readable OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
prismeta_install_configured(systemd/prismeta-show.service.in "${prismeta_unitdir}"
                            prismeta-show.service ${prismeta_readable})
prismeta_install_configured(autostart/prismeta-show-session.in "${prismeta_libexecdir}"
                            prismeta-show-session ${prismeta_readable} OWNER_EXECUTE
                            GROUP_EXECUTE WORLD_EXECUTE)
prismeta_install_configured(autostart/prismeta-show.desktop.in "${prismeta_autostartdir}"
                            prismeta-show.desktop ${prismeta_readable})
