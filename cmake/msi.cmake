# The Windows Installer package, for the windows preset:
#
#   cmake --build --preset windows --target msi     build/windows/kwobl-<version>-win64.msi
#
# It installs kwobl.scr, README.txt, THIRD-PARTY-NOTICES.txt and the pictures KWOBL001.DAT to
# KWOBL050.DAT into Program Files\KWOBL\ (per machine, 64-bit), built by packaging/make_msi.py with
# Debian's wixl. The pictures come from the folder KWOBL_MSI_PICTURES names, or else from the demo
# generator with --all (all fifty, 017 too). The folder must hold exactly the fifty names, each a
# picture by the program's own header checks, which the native check_pictures runs; otherwise the
# build stops with the faults and no package. Both native tools come from the host build
# (cmake/host_tools.cmake), so this one command works in a tree where nothing else was built.
set(KWOBL_MSI_PICTURES "" CACHE PATH
  "The folder of KWOBL001.DAT to KWOBL050.DAT that the msi target packages (empty: the demo pictures)")
find_program(KWOBL_WIXL wixl)
if(NOT KWOBL_WIXL)
  set(KWOBL_WIXL wixl)
endif()

set(KWOBL_MSI ${CMAKE_BINARY_DIR}/kwobl-${KWOBL_VERSION_TEXT}-win64.msi)
set(KWOBL_MSI_DEMO_PICTURES ${KWOBL_PACKAGING_OUT}/msi-demo-pictures)
if(KWOBL_MSI_PICTURES)
  set(KWOBL_MSI_PICTURE_FOLDER ${KWOBL_MSI_PICTURES})
  set(make_pictures_command "")
else()
  set(KWOBL_MSI_PICTURE_FOLDER ${KWOBL_MSI_DEMO_PICTURES})
  set(make_pictures_command COMMAND ${CMAKE_COMMAND}
    -DGENERATOR=${KWOBL_DEMO_PICTURES_GENERATOR_FILE} -DFOLDER=${KWOBL_MSI_DEMO_PICTURES}
    -P ${KWOBL_PACKAGING_DIR}/make_msi_pictures.cmake)
endif()

# The arguments of packaging/make_msi.py but the output, the work folder and the version, which the
# tests give again to make packages of other versions from the same files.
set(KWOBL_MSI_ARGUMENTS
  --pictures ${KWOBL_MSI_PICTURE_FOLDER}
  --checker ${KWOBL_PICTURE_CHECKER_FILE}
  --scr $<TARGET_FILE:kwobl>
  --readme ${KWOBL_PACKAGING_OUT}/README.txt
  --notices ${KWOBL_PACKAGING_OUT}/THIRD-PARTY-NOTICES.txt
  --icon ${CMAKE_SOURCE_DIR}/resources/program.ico
  --version-header ${CMAKE_SOURCE_DIR}/resources/version.h
  --wixl ${KWOBL_WIXL})
# With an organisation's certificate (cmake/signing.cmake) the package is signed once it is made; the
# kwobl.scr in it is signed already.
include(${CMAKE_SOURCE_DIR}/cmake/signing.cmake)
kwobl_sign_command(sign_msi_command ${KWOBL_MSI})
add_custom_target(msi
  ${make_pictures_command}
  COMMAND ${Python3_EXECUTABLE} ${KWOBL_PACKAGING_DIR}/make_msi.py
    --output ${KWOBL_MSI} --work ${KWOBL_PACKAGING_OUT}/msi ${KWOBL_MSI_ARGUMENTS}
  ${sign_msi_command}
  COMMENT "Making kwobl-${KWOBL_VERSION_TEXT}-win64.msi"
  VERBATIM)
add_dependencies(msi kwobl kwobl_host_tools)
