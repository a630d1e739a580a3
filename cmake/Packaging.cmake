# Packages made with CPack from an installed tree: on Linux a .deb of what
# cmake/Install.cmake installs (both libraries, the host, the headers, the
# client library and the CMake package), under /usr; for Windows a .zip of
# what cmake/InstallWindows.cmake installs. scripts/package.sh makes both.
# Nothing runs at installation: the registry file is per user, and
# `quorvel register` writes it.
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "Varnex")
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "OLE DB simple provider over delimited text files")
set(CPACK_PACKAGE_CONTACT "Quorvel maintainers <maintainers@quorvel.invalid>")
set(CPACK_RESOURCE_FILE_README ${CMAKE_SOURCE_DIR}/README.md)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME quorvel-${CPACK_PACKAGE_VERSION}-win64)
  else()
    set(CPACK_PACKAGE_FILE_NAME quorvel-${CPACK_PACKAGE_VERSION}-win32)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  # The first line of the description is the summary above.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quorvel serves a delimited text file as an OLEDBSimpleProvider table: an
in-process COM server (Quorvel.so, in a main and a second build), the quorvel
host that registers it and opens tables through it, and the headers, client
library and CMake package (find_package(Quorvel)) for programs that load it.")
  # The host and the libraries need the C and C++ run-times only.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1")
endif()
include(CPack)
