# The downloads of a release, for the windows preset:
#
#   cmake --build --preset windows --target package            build/windows/kwobl-<version>-win64.zip
#   cmake --build --preset windows --target demo_pictures_zip  build/windows/kwobl-<version>-demo-pictures.zip
#
# The first (CPack, ZIP) holds kwobl.scr, README.txt and THIRD-PARTY-NOTICES.txt; the second holds
# the demo pictures, made by the native generator. Both zips are written by
# packaging/reproducible_zip.py, so that their bytes depend only on what they hold.
set(KWOBL_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(KWOBL_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
set(KWOBL_LIBJPEG_SOURCE_DIR ${CMAKE_SOURCE_DIR}/third_party/libjpeg-turbo)
set(KWOBL_LIBJPEG_VERSION 2.1.5)

# The system's Python, as scripts/test.sh uses, rather than one that a version manager puts first.
if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The version as the program shows it ("1.00"), from the header that the resources use.
file(STRINGS ${CMAKE_SOURCE_DIR}/resources/version.h KWOBL_VERSION_TEXT
  REGEX "^#define KWOBL_VERSION_TEXT \"[^\"]+\"$")
string(REGEX REPLACE ".*\"([^\"]+)\"$" "\\1" KWOBL_VERSION_TEXT "${KWOBL_VERSION_TEXT}")
if(NOT KWOBL_VERSION_TEXT)
  message(FATAL_ERROR "resources/version.h has no KWOBL_VERSION_TEXT")
endif()

# The released program file carries no symbol table: it would name the objects that NASM assembled
# by their full paths in the build folder, and a debugger is not what a user runs.
target_link_options(kwobl PRIVATE -s)

# The two text files are for Notepad: UTF-8 with a byte order mark, so that every Windows version
# (and any editor) reads the Japanese text as UTF-8 instead of guessing the ANSI code page, and CR LF
# line ends, which Notepad before Windows 10 1809 needs to show lines at all.
string(ASCII 239 187 191 KWOBL_UTF8_BOM)
function(kwobl_write_windows_text template output)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${template})
  file(READ ${template} text)
  string(CONFIGURE "${text}" text @ONLY)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${output}.new "${KWOBL_UTF8_BOM}${text}")
  file(COPY_FILE ${output}.new ${output} ONLY_IF_DIFFERENT)
  file(REMOVE ${output}.new)
endfunction()

# The third-party notices, from libjpeg-turbo's and Little CMS's own files. libjpeg-turbo's: its licence overview, the legal section of
# the IJG's README, and the zlib licence of the SIMD extensions, which only the sources in the
# tarball state (simd/nasm/jsimdext.inc, whose "; " comment marks are taken off).
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${KWOBL_LIBJPEG_SOURCE_DIR}/LICENSE.md ${KWOBL_LIBJPEG_SOURCE_DIR}/README.ijg
  ${KWOBL_LIBJPEG_SOURCE_DIR}/libjpeg-turbo_${KWOBL_LIBJPEG_VERSION}.orig.tar.gz)
file(READ ${KWOBL_LIBJPEG_SOURCE_DIR}/LICENSE.md KWOBL_LIBJPEG_LICENSE)
string(STRIP "${KWOBL_LIBJPEG_LICENSE}" KWOBL_LIBJPEG_LICENSE)

file(READ ${KWOBL_LIBJPEG_SOURCE_DIR}/README.ijg readme_ijg)
string(FIND "${readme_ijg}" "\nLEGAL ISSUES\n" legal_begin)
string(FIND "${readme_ijg}" "\nREFERENCES\n" legal_end)
if(legal_begin LESS 0 OR legal_end LESS legal_begin)
  message(FATAL_ERROR "README.ijg has no LEGAL ISSUES section before REFERENCES")
endif()
math(EXPR legal_length "${legal_end} - ${legal_begin}")
string(SUBSTRING "${readme_ijg}" ${legal_begin} ${legal_length} KWOBL_LIBJPEG_IJG_LEGAL)
string(STRIP "${KWOBL_LIBJPEG_IJG_LEGAL}" KWOBL_LIBJPEG_IJG_LEGAL)

set(simd_dir ${KWOBL_PACKAGING_OUT}/libjpeg-turbo-simd)
file(REMOVE_RECURSE ${simd_dir})
file(ARCHIVE_EXTRACT
  INPUT ${KWOBL_LIBJPEG_SOURCE_DIR}/libjpeg-turbo_${KWOBL_LIBJPEG_VERSION}.orig.tar.gz
  DESTINATION ${simd_dir}
  PATTERNS libjpeg-turbo-${KWOBL_LIBJPEG_VERSION}/simd/nasm/jsimdext.inc)
file(READ ${simd_dir}/libjpeg-turbo-${KWOBL_LIBJPEG_VERSION}/simd/nasm/jsimdext.inc simd_text)
file(REMOVE_RECURSE ${simd_dir})
# The notice is the comment block from the first copyright line to the first line that is no comment.
string(REGEX MATCH "\n; Copyright[^\n]*\n(;[^\n]*\n)*" KWOBL_LIBJPEG_SIMD_LICENSE "${simd_text}")
string(REGEX REPLACE "\n; ?" "\n" KWOBL_LIBJPEG_SIMD_LICENSE "${KWOBL_LIBJPEG_SIMD_LICENSE}")
string(STRIP "${KWOBL_LIBJPEG_SIMD_LICENSE}" KWOBL_LIBJPEG_SIMD_LICENSE)
if(NOT KWOBL_LIBJPEG_SIMD_LICENSE MATCHES "This software is provided 'as-is'")
  message(FATAL_ERROR "simd/nasm/jsimdext.inc no longer starts with the zlib licence")
endif()

# Little CMS's licence (MIT), as its tarball states it in COPYING, kept beside it.
set(KWOBL_LCMS2_SOURCE_DIR ${CMAKE_SOURCE_DIR}/third_party/lcms2)
set(KWOBL_LCMS2_VERSION 2.14)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KWOBL_LCMS2_SOURCE_DIR}/COPYING)
file(READ ${KWOBL_LCMS2_SOURCE_DIR}/COPYING KWOBL_LCMS2_LICENSE)
string(STRIP "${KWOBL_LCMS2_LICENSE}" KWOBL_LCMS2_LICENSE)

kwobl_write_windows_text(${KWOBL_PACKAGING_DIR}/README.txt.in ${KWOBL_PACKAGING_OUT}/README.txt)
kwobl_write_windows_text(${KWOBL_PACKAGING_DIR}/THIRD-PARTY-NOTICES.txt.in
  ${KWOBL_PACKAGING_OUT}/THIRD-PARTY-NOTICES.txt)

install(TARGETS kwobl RUNTIME DESTINATION .)
install(FILES ${KWOBL_PACKAGING_OUT}/README.txt ${KWOBL_PACKAGING_OUT}/THIRD-PARTY-NOTICES.txt
  DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kwobl)
set(CPACK_PACKAGE_VENDOR "KWOBL Software")
set(CPACK_PACKAGE_VERSION ${KWOBL_VERSION_TEXT})
set(CPACK_PACKAGE_FILE_NAME kwobl-${KWOBL_VERSION_TEXT}-win64)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
# The files sit at the top of the zip, so that the demo pictures' zip unpacks into the same folder.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# CPack's archive stores access and change times: the zip is written again with fixed ones.
set(CPACK_KWOBL_PYTHON ${Python3_EXECUTABLE})
set(CPACK_KWOBL_ZIP_TOOL ${KWOBL_PACKAGING_DIR}/reproducible_zip.py)
set(CPACK_POST_BUILD_SCRIPTS ${KWOBL_PACKAGING_DIR}/cpack_rewrite_zip.cmake)
set(KWOBL_PACKAGE_ZIP ${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip)
include(CPack)

# The demo pictures come from the native generator, which the host build makes (cmake/host_tools.cmake).
include(${CMAKE_SOURCE_DIR}/cmake/host_tools.cmake)
set(KWOBL_DEMO_PICTURES_ZIP ${CMAKE_BINARY_DIR}/kwobl-${KWOBL_VERSION_TEXT}-demo-pictures.zip)
add_custom_target(demo_pictures_zip
  COMMAND ${CMAKE_COMMAND}
    -DGENERATOR=${KWOBL_DEMO_PICTURES_GENERATOR_FILE}
    -DPYTHON=${Python3_EXECUTABLE}
    -DZIP_TOOL=${KWOBL_PACKAGING_DIR}/reproducible_zip.py
    -DWORK=${KWOBL_PACKAGING_OUT}/demo-pictures
    -DOUTPUT=${KWOBL_DEMO_PICTURES_ZIP}
    -P ${KWOBL_PACKAGING_DIR}/make_demo_pictures_zip.cmake
  COMMENT "Making kwobl-${KWOBL_VERSION_TEXT}-demo-pictures.zip"
  VERBATIM)
add_dependencies(demo_pictures_zip kwobl_host_tools)
