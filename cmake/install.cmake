# Installation: libraries in GNU standard directories, the public and platform headers, a
# CMake package (sql2json::converter, sql2json::platform) and a pkg-config file; and the
# Debian packages built from them by CPack.
include(CMakePackageConfigHelpers)

set(SQL2JSON_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/sql2json)

set_target_properties(sql2json-converter PROPERTIES EXPORT_NAME converter)
set_target_properties(sql2json-platform PROPERTIES EXPORT_NAME platform)

install(TARGETS sql2json-converter sql2json-platform EXPORT sql2jsonTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(FILES include/SqlitetoJsonConverter.h include/SqlitetoJsonDefinitions.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(FILES platform/vexa_logging.h platform/vexa_oem_data.h platform/vexa_heater_mgr.h
              platform/vexa_ipc_client.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/sql2json/platform COMPONENT dev)
install(EXPORT sql2jsonTargets NAMESPACE sql2json:: DESTINATION ${SQL2JSON_CMAKE_DIR}
  COMPONENT dev)

configure_package_config_file(cmake/sql2jsonConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/sql2jsonConfig.cmake INSTALL_DESTINATION ${SQL2JSON_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/sql2jsonConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/sql2jsonConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/sql2jsonConfigVersion.cmake
  DESTINATION ${SQL2JSON_CMAKE_DIR} COMPONENT dev)

# The pkg-config file locates the prefix from its own place, so an installed tree can move.
file(RELATIVE_PATH SQL2JSON_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
  ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" SQL2JSON_PC_TO_PREFIX "${SQL2JSON_PC_TO_PREFIX}")
configure_file(cmake/sql2json-converter.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/sql2json-converter.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/sql2json-converter.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# ---- Debian packages: one per component ------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sql2json)
set(CPACK_PACKAGE_VENDOR "sql2json developers")
set(CPACK_PACKAGE_CONTACT "sql2json developers <dev@sql2json.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Redfish resources from SQLite views")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libsql2json-converter1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libsql2json-converter-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "libsql2json-converter1 (= ${PROJECT_VERSION}), libsqlite3-dev, libjsoncpp-dev")
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME sql2json-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libsql2json-converter1 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_COMPONENTS_ALL runtime dev tools)
include(CPack)
