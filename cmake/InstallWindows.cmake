# What the Windows package holds, laid out for a user who unpacks it:
#   Quorvel.dll                          the main build's library (regsvr32 it)
#   second/Quorvel.dll                   the second build's library
#   quorvel.exe                          the host
#   include/quorvel/...                  the interfaces and identifiers a client needs;
#     common/Guids.cpp defines the identifiers: compile it into the client;
#     common/TableSave.h declares the table's own save interface
#   example/ComExample.cpp               a client: CoCreateInstance, getDataMember, edit
#   README-Windows.txt
install(TARGETS Quorvel LIBRARY DESTINATION . RUNTIME DESTINATION .)
install(TARGETS Quorvel_second LIBRARY DESTINATION second RUNTIME DESTINATION second)
if(TARGET quorvel)
  install(TARGETS quorvel RUNTIME DESTINATION .)
endif()
set(include_dir include/quorvel)
install(FILES ${CMAKE_SOURCE_DIR}/src/common/Guids.h ${CMAKE_SOURCE_DIR}/src/common/Guids.cpp
  ${CMAKE_SOURCE_DIR}/src/common/TableSave.h DESTINATION ${include_dir}/common)
install(FILES ${CMAKE_SOURCE_DIR}/src/platform/Interfaces.h ${CMAKE_SOURCE_DIR}/src/platform/Sdk.h
  DESTINATION ${include_dir}/platform)
install(FILES ${CMAKE_SOURCE_DIR}/src/platform/windows/WindowsSdk.h DESTINATION ${include_dir}/platform/windows)
install(FILES ${CMAKE_SOURCE_DIR}/examples/com-client/ComExample.cpp DESTINATION example)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/README-Windows.txt DESTINATION .)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION docs FILES_MATCHING PATTERN "*.md")
