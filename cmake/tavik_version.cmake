# The one version of every program, library and package: project(VERSION)
# in the top CMakeLists.txt. The code takes it from tavik_version.h (target
# tavik_version); the Windows version records take TAVIK_VERSION_COMMAS
# (1,0,0,1) and TAVIK_VERSION_TEXT (1, 0, 0, 1).
string(REPLACE "." "," TAVIK_VERSION_COMMAS "${PROJECT_VERSION}")
string(REPLACE "." ", " TAVIK_VERSION_TEXT "${PROJECT_VERSION}")
# Who makes it, as the Windows version records and the installer
# (scripts/package-windows reads these two lines) say it.
set(TAVIK_COMPANY_NAME "the Tavik project")
set(TAVIK_LEGAL_COPYRIGHT "2026 the Tavik project")
configure_file(${CMAKE_CURRENT_LIST_DIR}/tavik_version.h.in ${PROJECT_BINARY_DIR}/generated/tavik_version.h @ONLY)
add_library(tavik_version INTERFACE)
target_include_directories(tavik_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
