# Read by cpack for each generator: what each kind of package is made of. All of it comes from
# the install rules of the build tree; the archive is the default.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_INSTALL_CMAKE_PROJECTS
      "${CPACK_KESTRAVEL_BUILD_DIR};${CPACK_KESTRAVEL_PROJECT};bundles;/"
      "${CPACK_KESTRAVEL_BUILD_DIR};${CPACK_KESTRAVEL_PROJECT};deb;/")
elseif(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_INSTALL_CMAKE_PROJECTS
      "${CPACK_KESTRAVEL_BUILD_DIR};${CPACK_KESTRAVEL_PROJECT};bundles;/"
      "${CPACK_KESTRAVEL_BUILD_DIR};${CPACK_KESTRAVEL_PROJECT};setup;/")
endif()
