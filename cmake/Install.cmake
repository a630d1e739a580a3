# What `cmake --install` puts under the prefix on Linux:
#   bin/quorvel                          the host (installed by tools/quorvel)
#   lib/quorvel/Quorvel.so               the main build's library
#   lib/quorvel/second/Quorvel.so        the second build's library
#   lib/libquorvel_client.a              COM base, BSTR, VARIANT and identifiers
#   include/quorvel/...                  the interfaces a client calls
#   lib/cmake/Quorvel/                   the package:
#     find_package(Quorvel)  target_link_libraries(app PRIVATE Quorvel::quorvel)
# A client loads the library named by Quorvel_MODULE (or
# $<TARGET_FILE:Quorvel::provider>) and asks its DllGetClassObject for a class
# factory of CLSID_VxASCOSP.
include(CMakePackageConfigHelpers)
set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvel)

set_target_properties(Quorvel PROPERTIES EXPORT_NAME provider)
set_target_properties(Quorvel_second PROPERTIES EXPORT_NAME provider_second)
install(TARGETS Quorvel EXPORT QuorvelTargets LIBRARY DESTINATION ${QUORVEL_INSTALL_MODULEDIR})
install(TARGETS Quorvel_second EXPORT QuorvelTargets LIBRARY DESTINATION ${QUORVEL_INSTALL_MODULEDIR}/second)
install(TARGETS quorvel_client EXPORT QuorvelTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

# The headers keep their places relative to each other, so their own includes
# hold: #include <quorvel/common/Guids.h> brings in everything.
set(include_dir ${CMAKE_INSTALL_INCLUDEDIR}/quorvel)
install(FILES ${CMAKE_SOURCE_DIR}/src/common/Guids.h ${CMAKE_SOURCE_DIR}/src/common/TableSave.h
  DESTINATION ${include_dir}/common)
install(FILES ${CMAKE_SOURCE_DIR}/src/platform/Interfaces.h ${CMAKE_SOURCE_DIR}/src/platform/Sdk.h
  DESTINATION ${include_dir}/platform)
set(winapi ${CMAKE_SOURCE_DIR}/src/platform/winapi)
install(FILES ${winapi}/ComBase.h ${winapi}/DataBinding.h ${winapi}/Kernel.h ${winapi}/Module.h ${winapi}/OleAuto.h
  DESTINATION ${include_dir}/platform/winapi)

install(EXPORT QuorvelTargets NAMESPACE Quorvel:: DESTINATION ${package_dir})
set(QUORVEL_MODULE ${QUORVEL_INSTALL_MODULEDIR}/Quorvel.so)
set(QUORVEL_SECOND_MODULE ${QUORVEL_INSTALL_MODULEDIR}/second/Quorvel.so)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/QuorvelConfig.cmake.in
  ${CMAKE_BINARY_DIR}/QuorvelConfig.cmake INSTALL_DESTINATION ${package_dir}
  PATH_VARS QUORVEL_MODULE QUORVEL_SECOND_MODULE)
install(FILES ${CMAKE_BINARY_DIR}/QuorvelConfig.cmake DESTINATION ${package_dir})

# The guide.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quorvel FILES_MATCHING PATTERN "*.md")
