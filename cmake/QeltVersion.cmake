# The release's version, from project(VERSION a.b.c) alone, in the forms the
# shipped files need, and qelt_version_resource() for each shipped module.
# Windows Installer compares a package's first three fields only, so the
# version has three and the file version's fourth field is always 0: a
# release that steps nothing the installer sees could not replace the one
# before it.
set(QELT_PRODUCT_NAME "QELTReader")
set(QELT_COMPANY_NAME "QELTReader")

# qelt_version_forms(PREFIX a.b.c): PREFIX_DOTTED (a.b.c.0), PREFIX_COMMAS
# (a,b,c,0, as resources and INF files write it) and PREFIX_PACKAGE (a.b.c).
function(qelt_version_forms prefix version)
  if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "version '${version}': three numbers a.b.c")
  endif()
  set(${prefix}_PACKAGE "${version}" PARENT_SCOPE)
  set(${prefix}_DOTTED "${version}.0" PARENT_SCOPE)
  set(${prefix}_COMMAS "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},0" PARENT_SCOPE)
endfunction()

qelt_version_forms(QELT_VERSION "${PROJECT_VERSION}")

# qelt_version_resource(TARGET DESCRIPTION text [VERSION a.b.c] [SELF_REGISTER]):
# the module's version information, language 1028 with code page 950. The
# description may be Traditional Chinese (the .rc file is UTF-8).
# SELF_REGISTER marks a module that registers itself (DllRegisterServer).
function(qelt_version_resource target)
  cmake_parse_arguments(V "SELF_REGISTER" "DESCRIPTION;VERSION" "" ${ARGN})
  if(NOT V_VERSION)
    set(V_VERSION "${PROJECT_VERSION}")
  endif()
  qelt_version_forms(RC "${V_VERSION}")
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "EXECUTABLE")
    set(RC_FILE_TYPE VFT_APP)
    set(RC_EXTENSION ".exe")
  else()
    set(RC_FILE_TYPE VFT_DLL)
    set(RC_EXTENSION ".dll")
  endif()
  get_target_property(RC_SUFFIX ${target} SUFFIX)
  if(RC_SUFFIX)
    set(RC_EXTENSION "${RC_SUFFIX}")
  endif()
  get_target_property(RC_NAME ${target} OUTPUT_NAME)
  if(NOT RC_NAME)
    set(RC_NAME ${target})
  endif()
  set(RC_DESCRIPTION "${V_DESCRIPTION}")
  set(RC_SELF_REGISTER "")
  if(V_SELF_REGISTER)
    set(RC_SELF_REGISTER "VALUE \"OLESelfRegister\", \"\"")
  endif()
  set(_rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in ${_rc} @ONLY)
  target_sources(${target} PRIVATE ${_rc})
endfunction()
