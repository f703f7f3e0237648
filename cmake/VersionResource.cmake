# The Windows programs' version resource: one block per program, made from cmake/version.rc.in
# into KELVARIN_VERSION_RC_DIR, where the program's .rc file includes it as NAME-version.rc.
# FILEVERSION takes numbers: 3.02 is 3,2,0,0.
set(KELVARIN_VERSION_RC_DIR ${CMAKE_BINARY_DIR}/version-resources)
string(REGEX MATCH "^([0-9]+)\\.0*([0-9]+)" _ ${PROJECT_VERSION})
set(KELVARIN_VERSION_MAJOR ${CMAKE_MATCH_1})
set(KELVARIN_VERSION_MINOR ${CMAKE_MATCH_2})

function(kelvarin_version_resource name description)
  set(KELVARIN_EXE_NAME ${name})
  set(KELVARIN_EXE_DESCRIPTION ${description})
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${KELVARIN_VERSION_RC_DIR}/${name}-version.rc @ONLY)
endfunction()
