# The third-party C libraries built from the copies of their sources in third_party/ (see its
# README), for systems whose pkg-config knows none of them and for the portable wheels. Each is a
# static, position-independent library with hidden symbols, so the module neither exports nor
# interposes them. zel_vendored_<name>() makes the target Zel::<name>.

include_guard(GLOBAL)

set(ZEL_THIRD_PARTY ${CMAKE_CURRENT_LIST_DIR}/../third_party)

function(zel_vendored_c_library target)
  cmake_parse_arguments(arg "" "" "SOURCES;INCLUDES;PUBLIC_INCLUDES;DEFINES;PUBLIC_DEFINES" ${ARGN})
  add_library(${target} STATIC ${arg_SOURCES})
  set_target_properties(${target} PROPERTIES C_STANDARD 99 C_EXTENSIONS ON
                        POSITION_INDEPENDENT_CODE ON C_VISIBILITY_PRESET hidden)
  target_include_directories(${target} PRIVATE ${arg_INCLUDES})
  target_include_directories(${target} SYSTEM PUBLIC ${arg_PUBLIC_INCLUDES})
  target_compile_definitions(${target} PRIVATE ${arg_DEFINES} PUBLIC ${arg_PUBLIC_DEFINES})
  # Their own code, compiled as their authors do: our warnings are not theirs to fix.
  target_compile_options(${target} PRIVATE -w)
endfunction()

macro(zel_vendored_yaml)
  set(dir ${ZEL_THIRD_PARTY}/libyaml)
  zel_vendored_c_library(zel_vendored_yaml
    SOURCES ${dir}/src/api.c ${dir}/src/reader.c ${dir}/src/scanner.c ${dir}/src/parser.c
            ${dir}/src/loader.c ${dir}/src/writer.c ${dir}/src/emitter.c ${dir}/src/dumper.c
    INCLUDES ${dir}/src
    PUBLIC_INCLUDES ${dir}/include
    DEFINES YAML_VERSION_MAJOR=0 YAML_VERSION_MINOR=2 YAML_VERSION_PATCH=5
            YAML_VERSION_STRING="0.2.5"
    PUBLIC_DEFINES YAML_DECLARE_STATIC)
  add_library(Zel::YAML ALIAS zel_vendored_yaml)
endmacro()

macro(zel_vendored_fyaml)
  set(dir ${ZEL_THIRD_PARTY}/libfyaml)
  file(GLOB fyaml_sources ${dir}/src/lib/*.c)
  # What its configure script would find on any Linux C library we build for.
  set(fyaml_config ${CMAKE_CURRENT_BINARY_DIR}/vendored/libfyaml/config.h)
  file(CONFIGURE OUTPUT ${fyaml_config}
       CONTENT "#define VERSION \"0.7.12\"\n#define HAVE_QSORT_R 1\n")
  zel_vendored_c_library(zel_vendored_fyaml
    SOURCES ${fyaml_sources} ${dir}/src/xxhash/xxhash.c
    INCLUDES ${dir}/src/lib ${dir}/src/xxhash ${CMAKE_CURRENT_BINARY_DIR}/vendored/libfyaml
    PUBLIC_INCLUDES ${dir}/include
    DEFINES HAVE_CONFIG_H=1 _GNU_SOURCE)
  add_library(Zel::FYAML ALIAS zel_vendored_fyaml)
endmacro()

macro(zel_vendored_utf8proc)
  set(dir ${ZEL_THIRD_PARTY}/utf8proc)
  zel_vendored_c_library(zel_vendored_utf8proc
    SOURCES ${dir}/utf8proc.c
    PUBLIC_INCLUDES ${dir}
    PUBLIC_DEFINES UTF8PROC_STATIC)
  add_library(Zel::UTF8PROC ALIAS zel_vendored_utf8proc)
endmacro()
