# The Debian package, made by `scripts/package` (cpack): tembra_VERSION_ARCH.deb
# holding the installed tree under /usr, its library dependencies computed
# by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tembra)
set(CPACK_PACKAGE_VENDOR "Tembra")
set(CPACK_PACKAGE_CONTACT "Tembra developers <tembra@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "node-based live visuals: runs and plays compositions of patches")
set(CPACK_PACKAGE_DESCRIPTION
    "Tembra runs compositions of patches (MIDI, text, sound, fire, OpenGL) frame by frame, offline, paced to the clock or live in a window, and records them to video. Includes the headers and pkg-config file for writing patch bundles.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our own libraries are in the package, beside the bundles.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_PREFIX}/${TEMBRA_INSTALL_LIBDIR})
# The font the Text patch and on-screen errors are drawn in by default.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
# What a live setup or a bundle author also wants, but the program runs without.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "jackd2, pkg-config, g++, cmake, nlohmann-json3-dev, libopengl-dev")
include(CPack)
