# The Debian package: `cpack -G DEB` in a build folder (or the `package`
# workflow preset) writes sowfield_<version>_<arch>.deb of what
# `cmake --install` installs, under /usr. The libraries the tool and the
# module link are found by dpkg-shlibdeps and declared as dependencies.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sowfield)
set(CPACK_PACKAGE_VENDOR "The Sowfield developers")
set(CPACK_PACKAGE_CONTACT "The Sowfield developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "scatter randomised copies of objects over a surface")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "sowfield scatters copies of an object over the polygons of a surface in a mesh
file (OBJ, glTF, GLB): one random site per copy, with spacing, density and
slope controls; each copy sized, turned and optionally aligned with the
surface. Includes a built-in demo scene, a settings listing and a mesh file
summary.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
