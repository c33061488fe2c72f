# Where bundles install, what a release archive holds, and what writing the resources needs.

if(KESTRAVEL_BUNDLE_RESOURCES AND CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX)
  # The resources come from rackhost.exe, which only Wine runs here.
  find_program(KESTRAVEL_WINE wine)
  if(NOT KESTRAVEL_WINE)
    message(FATAL_ERROR "The bundles' moduleinfo.json and snapshots are written by rackhost.exe under Wine, "
                        "and wine is missing: install the Debian package wine (./rack windows does), "
                        "or configure with -DKESTRAVEL_BUNDLE_RESOURCES=OFF")
  endif()
endif()
if(KESTRAVEL_BUNDLE_RESOURCES)
  if(KESTRAVEL_SNAPSHOT_2X)
    message(STATUS "Bundle resources: moduleinfo.json and snapshots at 1x and 2x")
  else()
    message(STATUS "Bundle resources: moduleinfo.json and snapshots at 1x")
  endif()
endif()

# --- cmake --install: the folder hosts scan, or the same layout under a prefix that is given.
# Remember the default prefix of this tree: a different one at install time means "a prefix was given".
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(KESTRAVEL_DEFAULT_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}" CACHE INTERNAL "")
elseif(NOT DEFINED KESTRAVEL_DEFAULT_INSTALL_PREFIX)
  # A tree configured before this rule existed: /usr/local was the default on Linux.
  if(NOT WIN32 AND CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
    set(KESTRAVEL_DEFAULT_INSTALL_PREFIX "/usr/local" CACHE INTERNAL "")
  else()
    set(KESTRAVEL_DEFAULT_INSTALL_PREFIX "" CACHE INTERNAL "")
  endif()
endif()
if(WIN32)
  set(_kv_prefix_layout "Common Files/VST3") # %COMMONPROGRAMFILES%\VST3 under "Program Files"
else()
  set(_kv_prefix_layout "lib/vst3")
endif()
# The per-user folder of the build machine means nothing to a cross-built Windows tree.
set(_kv_default_destination "set(KESTRAVEL_VST3_DESTINATION \"${KESTRAVEL_INSTALL_VST3_DIR}\")")
if(WIN32 AND NOT CMAKE_HOST_WIN32)
  set(_kv_default_destination "message(FATAL_ERROR \"A cross-built Windows tree installs under a prefix only: cmake --install ${CMAKE_BINARY_DIR} --prefix DIR puts the bundles in DIR/${_kv_prefix_layout}\")")
endif()

install(CODE "
  if(\"\${CMAKE_INSTALL_PREFIX}\" STREQUAL \"${KESTRAVEL_DEFAULT_INSTALL_PREFIX}\")
    ${_kv_default_destination}
  else()
    set(KESTRAVEL_VST3_DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${_kv_prefix_layout}\")
  endif()" COMPONENT bundles)

# One bundle folder, for cmake --install (component "bundles") and for the archive (component
# "archive", at the top level, built only by CPack).
function(kestravel_install_bundle target)
  set(bundle ${KESTRAVEL_BUNDLE_DIR}/${target}.vst3)
  install(CODE "file(INSTALL DESTINATION \"\${KESTRAVEL_VST3_DESTINATION}\" TYPE DIRECTORY USE_SOURCE_PERMISSIONS
                  FILES \"${bundle}\")" COMPONENT bundles)
  install(DIRECTORY ${bundle} DESTINATION . USE_SOURCE_PERMISSIONS COMPONENT archive EXCLUDE_FROM_ALL)
  set_property(GLOBAL APPEND PROPERTY KESTRAVEL_INSTALLED_BUNDLES ${target}.vst3)
endfunction()

# --- Release archives: cpack in a build tree makes that platform's archive.
if(WIN32)
  set(KESTRAVEL_PACKAGE_OS windows)
  set(CPACK_GENERATOR ZIP)
  set(_kv_newlines CRLF)
else()
  set(KESTRAVEL_PACKAGE_OS linux)
  set(CPACK_GENERATOR TGZ)
  set(_kv_newlines UNIX)
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/INSTALL-${KESTRAVEL_PACKAGE_OS}.txt.in
               ${CMAKE_BINARY_DIR}/package/INSTALL.txt @ONLY NEWLINE_STYLE ${_kv_newlines})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/package/INSTALL.txt
        DESTINATION . COMPONENT archive EXCLUDE_FROM_ALL)

# --- Installers. Both install the "bundles" component under a prefix, as cmake --install --prefix
# does, plus the licence where each system keeps it: the .deb with the prefix /usr, the setup
# program with "Program Files" as the prefix of its staging folder.
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION "KESTRAVEL rack" COMPONENT setup EXCLUDE_FROM_ALL)
  # The uninstaller removes the bundles by name, so it never touches other plug-ins in the folder.
  set(KESTRAVEL_NSIS_BUNDLE_LIST ${CMAKE_BINARY_DIR}/package/bundles.nsh)
  function(kestravel_write_nsis_bundle_list)
    get_property(bundles GLOBAL PROPERTY KESTRAVEL_INSTALLED_BUNDLES)
    set(text "!macro KestravelEachBundle action\n")
    foreach(bundle IN LISTS bundles)
      string(APPEND text "  !insertmacro \${action} \"${bundle}\"\n")
    endforeach()
    string(APPEND text "!macroend\n")
    file(WRITE ${KESTRAVEL_NSIS_BUNDLE_LIST} "${text}")
  endfunction()
  cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL kestravel_write_nsis_bundle_list)
  set(CPACK_KESTRAVEL_BUNDLE_LIST ${KESTRAVEL_NSIS_BUNDLE_LIST})
  set(CPACK_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake/nsis)
  set(CPACK_NSIS_PACKAGE_NAME "KESTRAVEL rack")
  set(CPACK_PACKAGE_INSTALL_DIRECTORY "KESTRAVEL rack")
else()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION share/doc/kestravel-rack RENAME copyright
          COMPONENT deb EXCLUDE_FROM_ALL)
  set(CPACK_DEBIAN_PACKAGE_NAME kestravel-rack)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "KESTRAVEL <rack@kestravel.invalid>")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "zenity | kdialog")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "KESTRAVEL utility rack: eight small VST 3 utility plug-ins")
set(CPACK_PACKAGE_DESCRIPTION "INPUT, OUTPUT, SUMMING, BREAKOUT, PLAYER, RECORDER, FADER BANK and\n\
DISTRIBUTOR: routing, level, playback and recording modules for any VST 3 host.")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack-generators.cmake)

set(CPACK_PACKAGE_NAME kestravel-rack)
set(CPACK_PACKAGE_VENDOR KESTRAVEL)
set(CPACK_PACKAGE_CONTACT "KESTRAVEL <rack@kestravel.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME kestravel-rack-${PROJECT_VERSION}-${KESTRAVEL_PACKAGE_OS}-x86_64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_KESTRAVEL_BUILD_DIR ${CMAKE_BINARY_DIR})
set(CPACK_KESTRAVEL_PROJECT ${PROJECT_NAME})
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};archive;/")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
