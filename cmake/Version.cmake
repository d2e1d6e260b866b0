# Names derived from the project's version (CMakeLists.txt): 1.3.1.0 is
# "1.3A", the third number a letter (0: none), and the release "1.3a".
math(EXPR _letter "64 + ${PROJECT_VERSION_PATCH}")
if(PROJECT_VERSION_PATCH GREATER 0)
  string(ASCII ${_letter} _letter)
else()
  set(_letter "")
endif()
set(BRAMBLE_VERSION_NAME "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}${_letter}")
string(TOLOWER "${BRAMBLE_VERSION_NAME}" BRAMBLE_RELEASE_NAME)
# The release script (scripts/dist.sh) reads the names from the build.
file(WRITE ${CMAKE_BINARY_DIR}/release.env
     "VERSION=${PROJECT_VERSION}\nNAME=${BRAMBLE_VERSION_NAME}\nRELEASE=${BRAMBLE_RELEASE_NAME}\n")

# Gives a Windows binary its version resource: file and product version,
# product name, `description`, company and original file name.
function(bramble_version_resource target description file_name)
  set(VI_DESCRIPTION "${description}")
  set(VI_FILE_NAME "${file_name}")
  string(REPLACE "." "," VI_VERSION_COMMAS "${PROJECT_VERSION}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
endfunction()
