# libjpeg-turbo, built from the source tarball beside this file as a static library, with the tool chain
# of the including project. Defines the imported target kwobl_libjpeg (library and headers).
#
# Only the libjpeg API library is built: no shared library, no TurboJPEG API, no Java, no tools and no
# tests. The SIMD extensions need the NASM assembler; without it the library is built in plain C, which
# decodes more slowly, and a warning says so.
#
# A native build uses the project's C compiler (CMAKE_C_COMPILER: clang in the clang presets), and
# KWOBL_LIBJPEG_C_FLAGS adds flags to it, so that a sanitized or fuzzing build instruments the library too.
include(ExternalProject)
include_guard(GLOBAL)

set(KWOBL_LIBJPEG_C_FLAGS "" CACHE STRING "Extra C flags for libjpeg-turbo (sanitizers, coverage)")
set(KWOBL_LIBJPEG_COMPILER_ARGS)
if(NOT CMAKE_TOOLCHAIN_FILE)
  enable_language(C)
  list(APPEND KWOBL_LIBJPEG_COMPILER_ARGS -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER})
endif()
if(KWOBL_LIBJPEG_C_FLAGS)
  list(APPEND KWOBL_LIBJPEG_COMPILER_ARGS "-DCMAKE_C_FLAGS=${KWOBL_LIBJPEG_C_FLAGS}")
endif()

set(KWOBL_LIBJPEG_PREFIX ${CMAKE_BINARY_DIR}/third_party/libjpeg-turbo)
set(KWOBL_LIBJPEG_INCLUDE_DIR ${KWOBL_LIBJPEG_PREFIX}/include)
set(KWOBL_LIBJPEG_LIBRARY ${KWOBL_LIBJPEG_PREFIX}/lib/libjpeg.a)

find_program(KWOBL_NASM NAMES nasm)
if(KWOBL_NASM)
  message(STATUS "libjpeg-turbo: SIMD extensions on (${KWOBL_NASM})")
else()
  message(WARNING "libjpeg-turbo: nasm not found, so the library is built without its SIMD extensions "
                  "and decodes JPEG pictures more slowly; install nasm to build them")
endif()

list(JOIN KWOBL_PREFIX_MAP_FLAGS " " KWOBL_LIBJPEG_C_FLAGS)
# The program's hardening (cmake/hardening.cmake) covers the library that reads untrusted files too.
if(KWOBL_HARDENING_COMPILE_FLAGS)
  list(JOIN KWOBL_HARDENING_COMPILE_FLAGS " " hardening)
  string(APPEND KWOBL_LIBJPEG_C_FLAGS " ${hardening}")
endif()

# The inner build runs its own Ninja, which does not share the outer one's job limit.
cmake_host_system_information(RESULT KWOBL_LIBJPEG_JOBS QUERY NUMBER_OF_PHYSICAL_CORES)
if(NOT KWOBL_LIBJPEG_JOBS OR KWOBL_LIBJPEG_JOBS LESS 1)
  set(KWOBL_LIBJPEG_JOBS 1)
endif()

ExternalProject_Add(kwobl_libjpeg_build
  URL ${CMAKE_CURRENT_LIST_DIR}/libjpeg-turbo_2.1.5.orig.tar.gz
  URL_HASH SHA256=254f3642b04e309fee775123133c6464181addc150499561020312ec61c1bf7c
  PREFIX ${KWOBL_LIBJPEG_PREFIX}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    ${KWOBL_LIBJPEG_COMPILER_ARGS}
    -DCMAKE_BUILD_TYPE=Release
    -DENABLE_SHARED=OFF
    -DENABLE_STATIC=ON
    -DWITH_TURBOJPEG=OFF
    -DWITH_JAVA=OFF
    -DREQUIRE_SIMD=OFF
    # Reproducible builds: no build paths in the objects (cmake/reproducible.cmake) and a fixed build
    # string instead of the day of the build.
    "-DCMAKE_C_FLAGS=${KWOBL_LIBJPEG_C_FLAGS}"
    -DBUILD=kwobl
    # Unused, but its default (a Windows drive path) breaks the configure step on the build machine.
    -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
    -Wno-dev
  # Only the library: the tools and tests are not built, so the project's own install step (which
  # installs them) is replaced by copying the library and its four public headers.
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target jpeg-static --parallel ${KWOBL_LIBJPEG_JOBS}
  INSTALL_COMMAND ${CMAKE_COMMAND} -E make_directory <INSTALL_DIR>/include <INSTALL_DIR>/lib
    COMMAND ${CMAKE_COMMAND} -E copy <SOURCE_DIR>/jpeglib.h <SOURCE_DIR>/jerror.h <SOURCE_DIR>/jmorecfg.h
            <BINARY_DIR>/jconfig.h <INSTALL_DIR>/include
    COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/libjpeg.a <INSTALL_DIR>/lib
  BUILD_BYPRODUCTS ${KWOBL_LIBJPEG_LIBRARY}
  LOG_CONFIGURE ON
  LOG_BUILD ON
  LOG_INSTALL ON
  LOG_OUTPUT_ON_FAILURE ON)

# An imported target needs its include folder to exist when the build is generated.
file(MAKE_DIRECTORY ${KWOBL_LIBJPEG_INCLUDE_DIR})
add_library(kwobl_libjpeg STATIC IMPORTED GLOBAL)
set_target_properties(kwobl_libjpeg PROPERTIES
  IMPORTED_LOCATION ${KWOBL_LIBJPEG_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${KWOBL_LIBJPEG_INCLUDE_DIR})
# Whatever links the library is built after it, headers included.
add_dependencies(kwobl_libjpeg kwobl_libjpeg_build)
