# What a host vendor gets from `cmake --install` besides the libraries: a CMake
# package whose imported target CloudPatientPlugin::Host carries the host
# header's include path, and a Debian package (cpack) of the same layout.
include(CMakePackageConfigHelpers)

install(EXPORT CloudPatientPluginTargets
  NAMESPACE CloudPatientPlugin::
  DESTINATION ${CLOUDPATIENT_INSTALL_CMAKEDIR})
set(CLOUDPATIENT_INSTALL_PLUGINROOT plugins)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/CloudPatientPluginConfig.cmake.in
  ${CMAKE_BINARY_DIR}/CloudPatientPluginConfig.cmake
  INSTALL_DESTINATION ${CLOUDPATIENT_INSTALL_CMAKEDIR}
  PATH_VARS CLOUDPATIENT_INSTALL_PLUGINROOT CLOUDPATIENT_INSTALL_PLUGINDIR CLOUDPATIENT_INSTALL_EXAMPLEDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/CloudPatientPluginConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_BINARY_DIR}/CloudPatientPluginConfig.cmake
  ${CMAKE_BINARY_DIR}/CloudPatientPluginConfigVersion.cmake
  DESTINATION ${CLOUDPATIENT_INSTALL_CMAKEDIR})

# A self-contained tree under /opt, so that the RPATHs and the CMake package
# work as they do from any other prefix.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cloudpatient-plugin)
set(CPACK_PACKAGE_VENDOR "Cloud patient plug-in")
set(CPACK_PACKAGE_CONTACT "Cloud patient plug-in maintainers <cloudpatient@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Qt 5 plug-in with a study-information form for medical image workstations")
set(CPACK_PACKAGE_DESCRIPTION "The plug-in (plugins/generic), its cloud client and message box \
libraries (lib), the host header and CMake package, and example configuration files (share).")
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/cloudpatient)
# Without the debugging sections; the dynamic symbols stay as they are.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# Debian 12's packages of what the libraries load; the Qt SQLite driver is
# what the host's default connection to its study database runs on.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libc6 (>= 2.36), libgcc-s1 (>= 3.0), libstdc++6 (>= 12), libqt5core5a (>= 5.15), libqt5gui5 (>= 5.15), libqt5widgets5 (>= 5.15), libqt5sql5 (>= 5.15), libqt5sql5-sqlite (>= 5.15), libsqlite3-0 (>= 3.40), libcurl4 (>= 7.88)")
include(CPack)
