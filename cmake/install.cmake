# What `cmake --install` puts under the prefix (Linux):
#
#   include/vorla/vorla.h, include/vorla/version.h
#   <libdir>/libvorla.so.1.0.0, libvorla.so.1 (SONAME), libvorla.so
#   <libdir>/cmake/vorla/     vorlaConfig.cmake, vorlaConfigVersion.cmake, vorlaTargets*.cmake (vorla::vorla)
#   <libdir>/pkgconfig/vorla.pc
#   bin/vorla-cli, bin/vorla-sim
#   <libdir>/vorla/simulated-drivers/   the simulated card driver components (lib*.so);
#                                       never on the loader's path: a test or an integrator
#                                       names this directory in LD_LIBRARY_PATH on purpose
#   share/vorla/templates/    the invoice templates kwmzfp.rmf and kwzyfp.rmf
#   share/vorla/sim-scenarios/ the simulator's example scenarios
#   share/doc/vorla/          README.md, CHANGELOG.md, LICENSE, the simulator's and the
#                             drivers' READMEs, docs/
#
# Components: "runtime" (the library), "tools" (vorla-cli, vorla-sim, the simulated
# drivers and the simulator's scenarios), "development" (headers, CMake package,
# pkg-config file, the libvorla.so link), "data" (templates, documentation).
include(CMakePackageConfigHelpers)

set(VORLA_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/vorla CACHE STRING
  "where the CMake package files of vorla are installed (relative to the prefix)")
set(VORLA_INSTALL_DRIVERSDIR ${CMAKE_INSTALL_LIBDIR}/vorla/simulated-drivers CACHE STRING
  "where the simulated driver components are installed (relative to the prefix)")
set(VORLA_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/vorla)

install(TARGETS vorla EXPORT vorlaTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/vorla/vorla.h ${PROJECT_BINARY_DIR}/include/vorla/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vorla COMPONENT development)

install(TARGETS vorla-cli vorla-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
install(TARGETS sim_ss_card_driver sim_dcrf32 sim_nation_ec_code sim_dc_reader
  LIBRARY DESTINATION ${VORLA_INSTALL_DRIVERSDIR} COMPONENT tools)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/tools/sim/scenarios/ DESTINATION ${VORLA_INSTALL_DATADIR}/sim-scenarios
  COMPONENT tools)

install(FILES ${PROJECT_SOURCE_DIR}/templates/kwmzfp.rmf ${PROJECT_SOURCE_DIR}/templates/kwzyfp.rmf
  DESTINATION ${VORLA_INSTALL_DATADIR}/templates COMPONENT data)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT data)
install(FILES ${PROJECT_SOURCE_DIR}/tools/sim/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR}
  RENAME vorla-sim.md COMPONENT data)
install(FILES ${PROJECT_SOURCE_DIR}/tools/drivers/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR}
  RENAME simulated-drivers.md COMPONENT data)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs COMPONENT data)

# The CMake package: find_package(vorla 1) gives the imported target vorla::vorla.
install(EXPORT vorlaTargets NAMESPACE vorla:: DESTINATION ${VORLA_INSTALL_CMAKEDIR} COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vorlaConfig.cmake.in
  ${PROJECT_BINARY_DIR}/vorlaConfig.cmake INSTALL_DESTINATION ${VORLA_INSTALL_CMAKEDIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR VORLA_INSTALL_DRIVERSDIR VORLA_INSTALL_DATADIR)
# Same major version, this minor or later.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vorlaConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vorlaConfig.cmake ${PROJECT_BINARY_DIR}/vorlaConfigVersion.cmake
  DESTINATION ${VORLA_INSTALL_CMAKEDIR} COMPONENT development)

# The pkg-config file: pkg-config --cflags --libs vorla. Paths relative to the
# installed file, so the installed tree may be moved (or unpacked with dpkg -x).
file(RELATIVE_PATH VORLA_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" VORLA_PC_TO_PREFIX "${VORLA_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/vorla.pc.in ${PROJECT_BINARY_DIR}/vorla.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vorla.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
