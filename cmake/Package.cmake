# The Debian package: `make package` (see the Makefile) configures a Release
# build of the programs only, installing under /usr, and runs CPack's DEB
# generator in it. scripts/package-check installs the result in a fresh
# Debian 12 and tries it.
#
# The version is the project's (project(VERSION) in CMakeLists.txt); the
# file is prismeta_<version>_amd64.deb.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME prismeta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Prismeta developers")
set(CPACK_PACKAGE_CONTACT "The Prismeta developers <prismeta@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "projection mapping and show control for projectors")
set(CPACK_PACKAGE_DESCRIPTION
    "Prismeta maps pictures onto real objects with one or more projectors: surfaces \
pinned by their corners or a warp mesh, showing colours, test patterns, stills, \
videos (HAP included), shaders and live sources; outputs with crops, warps and \
edge blends; camera calibration; cues with a show mode that starts at login; \
OSC, DMX and timecode control; one show across many machines over MQTT. \
prismeta-cli validates and renders projects without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link, worked out by dpkg-shlibdeps (dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the programs load at run time without linking it, so dpkg-shlibdeps
# cannot see it: Qt's SVG icon engine and image plugin (the interface's
# icons), and OpenGL, which libepoxy opens by name: EGL for prismeta-cli's
# headless rendering, GLX for the windows, and Mesa's drivers (llvmpipe
# where there is no GPU).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libegl1, libgl1, libgl1-mesa-dri")
# Programs Prismeta can run or talk to, only for the features that use them:
# the default capture command of camera calibration (gphoto2), and the MQTT
# broker and its clients of a show on many machines.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gphoto2, mosquitto, mosquitto-clients")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
