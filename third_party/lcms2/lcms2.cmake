# Little CMS 2, the colour engine: unpacked from the upstream tarball beside this file, Debian's patches
# applied in their series order, and its core library built as a static library with the including
# project's tool chain and flags (so that a sanitized or fuzzing build instruments it too).
# Defines the target kwobl_lcms2 (library and headers).
#
# Only the MIT-licensed core (src/*.c, include/lcms2.h) is built: not the GPL plugins in plugins/, not
# the tools, not the test bed.
include_guard(GLOBAL)
enable_language(C)

set(KWOBL_LCMS2_TARBALL ${CMAKE_CURRENT_LIST_DIR}/lcms2_2.14.orig.tar.gz)
set(KWOBL_LCMS2_TARBALL_SHA256 28474ea6f6591c4d4cee972123587001a4e6e353412a41b3e9e82219818d5740)
set(KWOBL_LCMS2_DEBIAN ${CMAKE_CURRENT_LIST_DIR}/lcms2_2.14-2+deb12u1.debian.tar.xz)
set(KWOBL_LCMS2_DEBIAN_SHA256 3b88006a5ccc15f3d4b2f28310875a8c4d789ac8342deaf4113ed5c2fd4a59e8)
set(KWOBL_LCMS2_ROOT ${CMAKE_BINARY_DIR}/third_party/lcms2)
set(KWOBL_LCMS2_SOURCE_DIR ${KWOBL_LCMS2_ROOT}/lcms2-2.14)
set(KWOBL_LCMS2_STAMP ${KWOBL_LCMS2_ROOT}/patched-2.14-2+deb12u1)

# Unpacked and patched once per build folder, when the project is configured.
if(NOT EXISTS ${KWOBL_LCMS2_STAMP})
  foreach(archive TARBALL DEBIAN)
    file(SHA256 ${KWOBL_LCMS2_${archive}} digest)
    if(NOT digest STREQUAL KWOBL_LCMS2_${archive}_SHA256)
      message(FATAL_ERROR "${KWOBL_LCMS2_${archive}}: unexpected SHA-256 ${digest}")
    endif()
  endforeach()
  find_program(KWOBL_PATCH NAMES patch REQUIRED)
  file(REMOVE_RECURSE ${KWOBL_LCMS2_ROOT})
  file(ARCHIVE_EXTRACT INPUT ${KWOBL_LCMS2_TARBALL} DESTINATION ${KWOBL_LCMS2_ROOT})
  file(ARCHIVE_EXTRACT INPUT ${KWOBL_LCMS2_DEBIAN} DESTINATION ${KWOBL_LCMS2_ROOT})
  file(STRINGS ${KWOBL_LCMS2_ROOT}/debian/patches/series KWOBL_LCMS2_PATCHES REGEX "^[^#]")
  foreach(patch_name ${KWOBL_LCMS2_PATCHES})
    execute_process(COMMAND ${KWOBL_PATCH} -p1 -s -i ${KWOBL_LCMS2_ROOT}/debian/patches/${patch_name}
                    WORKING_DIRECTORY ${KWOBL_LCMS2_SOURCE_DIR} RESULT_VARIABLE patch_result)
    if(NOT patch_result EQUAL 0)
      message(FATAL_ERROR "lcms2: Debian's patch ${patch_name} does not apply")
    endif()
  endforeach()
  file(TOUCH ${KWOBL_LCMS2_STAMP})
endif()

file(GLOB KWOBL_LCMS2_SOURCES ${KWOBL_LCMS2_SOURCE_DIR}/src/*.c)
add_library(kwobl_lcms2 STATIC ${KWOBL_LCMS2_SOURCES})
target_include_directories(kwobl_lcms2 SYSTEM PUBLIC ${KWOBL_LCMS2_SOURCE_DIR}/include)
# Third-party code: its warnings are not ours to mend. CMS_NO_REGISTER_KEYWORD keeps the header valid
# C++17 and later, where `register` is gone.
target_compile_options(kwobl_lcms2 PRIVATE -w)
target_compile_definitions(kwobl_lcms2 PUBLIC CMS_NO_REGISTER_KEYWORD=1)
set_target_properties(kwobl_lcms2 PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)
