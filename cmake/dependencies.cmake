# Dependency checks for CMakeLists.txt. Each zel_require_* macro looks for one dependency and,
# when it is missing, records it with the Debian package that provides it; zel_stop_if_missing()
# then ends configuring with one message that names everything missing and the apt-get line that
# installs it, instead of stopping at the first library with pkg-config's raw output.
# Macros, not functions: pkg_check_modules and find_path must set their variables (<PREFIX>_FOUND,
# <PREFIX>_STATIC_LIBRARIES, the include directory) in the caller's scope.

set(ZEL_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})
set_property(GLOBAL PROPERTY ZEL_MISSING_WHAT "")
set_property(GLOBAL PROPERTY ZEL_MISSING_PACKAGES "")

macro(zel_record_missing what package)
  set_property(GLOBAL APPEND PROPERTY ZEL_MISSING_WHAT "${what}")
  set_property(GLOBAL APPEND PROPERTY ZEL_MISSING_PACKAGES "${package}")
endmacro()

set(ZEL_DEPS AUTO CACHE STRING "Where libyaml, libfyaml and utf8proc come from: AUTO (the \
system's through pkg-config, else the copies in third_party/), SYSTEM or VENDORED")
set_property(CACHE ZEL_DEPS PROPERTY STRINGS AUTO SYSTEM VENDORED)
if(NOT ZEL_DEPS MATCHES "^(AUTO|SYSTEM|VENDORED)$")
  message(FATAL_ERROR "ZEL_DEPS must be AUTO, SYSTEM or VENDORED, not ${ZEL_DEPS}")
endif()

if(NOT ZEL_DEPS STREQUAL "VENDORED")
  find_package(PkgConfig QUIET)
endif()
if(ZEL_DEPS STREQUAL "SYSTEM" AND NOT PKG_CONFIG_FOUND)
  zel_record_missing("the pkg-config program" pkg-config)
endif()

# zel_require_pkg(<prefix> <pkg-config module> <Debian package>): the imported target
# PkgConfig::<prefix>.
macro(zel_require_pkg prefix module package)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(${prefix} QUIET IMPORTED_TARGET ${module})
  endif()
  if(NOT ${prefix}_FOUND)
    zel_record_missing("${module} (pkg-config module)" ${package})
  endif()
endmacro()

# zel_dependency(<prefix> <pkg-config requirement> <Debian package> <vendored macro>): the target
# Zel::<prefix>, the system's library when pkg-config finds it (not with ZEL_DEPS=VENDORED), else
# the copy in third_party/ (not with ZEL_DEPS=SYSTEM, which records it as missing instead).
macro(zel_dependency prefix module package vendored)
  if(NOT ZEL_DEPS STREQUAL "VENDORED" AND PKG_CONFIG_FOUND)
    pkg_check_modules(${prefix} QUIET IMPORTED_TARGET ${module})
  endif()
  if(${prefix}_FOUND)
    add_library(Zel::${prefix} ALIAS PkgConfig::${prefix})
    message(STATUS "${module}: the system's, ${${prefix}_VERSION}")
  elseif(ZEL_DEPS STREQUAL "SYSTEM")
    zel_record_missing("${module} (pkg-config module)" ${package})
  else()
    enable_language(C)
    include(${ZEL_CMAKE_DIR}/vendored.cmake)
    cmake_language(CALL ${vendored})
    message(STATUS "${module}: built from third_party/")
  endif()
endmacro()

# zel_require_header(<variable> <header> <Debian package>): the include directory in <variable>.
macro(zel_require_header variable header package)
  find_path(${variable} ${header})
  if(NOT ${variable})
    zel_record_missing("${header}" ${package})
  endif()
endmacro()

# zel_require_python(<Debian package>): the interpreter and the headers for extension modules.
macro(zel_require_python package)
  find_package(Python 3.13 QUIET COMPONENTS Interpreter Development.Module)
  if(NOT Python_Development.Module_FOUND)
    zel_record_missing("the headers of Python 3.13 (Python.h)" ${package})
  endif()
endmacro()

function(zel_stop_if_missing)
  get_property(what GLOBAL PROPERTY ZEL_MISSING_WHAT)
  get_property(packages GLOBAL PROPERTY ZEL_MISSING_PACKAGES)
  if(NOT what)
    return()
  endif()
  list(REMOVE_DUPLICATES packages)
  list(JOIN what "\n    " what_text)
  list(JOIN packages " " packages_text)
  message(FATAL_ERROR "missing build dependencies:\n"
    "    ${what_text}\n"
    "On Debian 12 or 13 install them with:\n"
    "    apt-get install ${packages_text}")
endfunction()
