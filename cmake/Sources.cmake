# The library's sources, named once for every tree that compiles them (the
# top-level build, the quorvel host and the fuzz build). QUORVEL_ROOT is the
# source tree; the platform is Windows when WIN32 is set, else Linux.
#   QUORVEL_CORE_SOURCES       text, containers and the table: no COM server
#   QUORVEL_SERVER_SOURCES     the data source and the module: the COM server
#   QUORVEL_BUILD_SOURCES      what differs between the main and second builds
#   QUORVEL_PORT_SOURCES       the port to this platform (windows/; or linux/
#                              and winapi/, the stand-in for the Windows API)
#   QUORVEL_HOST_SOURCES       the pieces of the platform layer the host needs
#                              beside the client's (never the provider)
#   QUORVEL_CLIENT_SOURCES     what a Linux client links: the stand-in's COM
#                              base, BSTR and VARIANT, and the identifiers
set(QUORVEL_BUILD_SOURCES ${QUORVEL_ROOT}/src/table/DataMemberLoader.cpp)
file(GLOB QUORVEL_CORE_SOURCES CONFIGURE_DEPENDS
  ${QUORVEL_ROOT}/src/platform/*.cpp ${QUORVEL_ROOT}/src/common/*.cpp
  ${QUORVEL_ROOT}/src/containers/*.cpp ${QUORVEL_ROOT}/src/table/*.cpp)
list(REMOVE_ITEM QUORVEL_CORE_SOURCES ${QUORVEL_BUILD_SOURCES})
file(GLOB QUORVEL_SERVER_SOURCES CONFIGURE_DEPENDS
  ${QUORVEL_ROOT}/src/datasource/*.cpp ${QUORVEL_ROOT}/src/module/*.cpp)

set(platform ${QUORVEL_ROOT}/src/platform)
set(QUORVEL_HOST_SOURCES ${platform}/Alloc.cpp ${platform}/Utf8.cpp)
if(WIN32)
  file(GLOB QUORVEL_PORT_SOURCES CONFIGURE_DEPENDS ${platform}/windows/*.cpp)
  list(APPEND QUORVEL_HOST_SOURCES
    ${platform}/VariantText.cpp ${platform}/WideString.cpp ${QUORVEL_ROOT}/src/common/Guids.cpp
    ${platform}/windows/TextConversion.cpp)
  set(QUORVEL_CLIENT_SOURCES "")
else()
  file(GLOB QUORVEL_PORT_SOURCES CONFIGURE_DEPENDS ${platform}/linux/*.cpp ${platform}/winapi/*.cpp)
  list(APPEND QUORVEL_HOST_SOURCES
    ${platform}/linux/TextConversion.cpp
    ${platform}/winapi/Registry.cpp ${platform}/winapi/RegistryStore.cpp ${platform}/winapi/RegistryTree.cpp
    ${platform}/linux/ReplacementFile.cpp ${platform}/linux/FileSystem.cpp ${platform}/TestHooks.cpp
    ${platform}/FileIdentity.cpp)
  set(QUORVEL_CLIENT_SOURCES
    ${platform}/winapi/ComBase.cpp ${platform}/winapi/OleAuto.cpp ${platform}/VariantText.cpp
    ${platform}/WideString.cpp ${QUORVEL_ROOT}/src/common/Guids.cpp)
endif()
unset(platform)
