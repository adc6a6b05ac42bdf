# The tests of the windows preset, run by `ctest --preset windows`:
#
#   win32_backend        the backend's own tests (kwobl_win32_tests.exe) under Wine
#   end_to_end           tests/e2e/run_e2e.py: kwobl.scr under Wine, driven from outside
#   package_contents     what the release zip holds (it is made first, by the package_zip test)
#   demo_pictures_zip    what the demo pictures' zip holds (made first by demo_pictures_make)
#   pe_hardening         the program files' hardening flags, read back from their headers
#   signing              a build signed with a throwaway certificate (tests/signing/test_signing.py)
#   power_imports        kwobl.scr can neither keep the display nor the machine awake, and listens to
#                        the display's power state (cmake/check_power_imports.cmake)
#
# The Windows programs run through scripts/wine_session.sh, which gives each test its own virtual
# display and the prepared Wine prefix; the tests that use Wine take turns, since they share the prefix.
enable_testing()
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(KWOBL_WINE_SESSION ${CMAKE_SOURCE_DIR}/scripts/wine_session.sh)
set(KWOBL_WINE_LOCK kwobl_wine_test_prefix)

if(TARGET kwobl_win32_tests)
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set_property(TARGET kwobl_win32_tests PROPERTY CROSSCOMPILING_EMULATOR ${KWOBL_WINE_SESSION} wine)
  endif()
  add_test(NAME win32_backend COMMAND kwobl_win32_tests --gtest_brief=1)
  set_tests_properties(win32_backend PROPERTIES RESOURCE_LOCK ${KWOBL_WINE_LOCK} TIMEOUT 600)
endif()

if(TARGET kwobl_e2e_helper)
  # The end-to-end suite makes some of its pictures with the demo-picture generator of the host build,
  # which the host_tools test builds first.
  add_test(NAME end_to_end
    COMMAND ${KWOBL_WINE_SESSION} ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/e2e/run_e2e.py
      --scr $<TARGET_FILE:kwobl>
      --helper $<TARGET_FILE:kwobl_e2e_helper>
      --make-pictures ${KWOBL_DEMO_PICTURES_GENERATOR_FILE}
      --shots ${CMAKE_BINARY_DIR}/e2e-shots)
  set_tests_properties(end_to_end PROPERTIES RESOURCE_LOCK ${KWOBL_WINE_LOCK} TIMEOUT 1200
    FIXTURES_REQUIRED kwobl_host_tools)
endif()

add_test(NAME host_tools COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target kwobl_host_tools)
set_tests_properties(host_tools PROPERTIES RESOURCE_LOCK kwobl_build_tree FIXTURES_SETUP kwobl_host_tools)

add_test(NAME power_imports
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:kwobl> -DOBJDUMP=${CMAKE_OBJDUMP}
    -P ${CMAKE_SOURCE_DIR}/cmake/check_power_imports.cmake)

# The release zips are made by the tests that set up their fixtures, in turn with any other build in
# this tree; `ctest --preset windows` then checks them without a separate build step.
add_test(NAME package_zip COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target package)
add_test(NAME package_contents
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/packaging/check_package.py program ${KWOBL_PACKAGE_ZIP}
    --scr $<TARGET_FILE:kwobl> --libjpeg ${KWOBL_LIBJPEG_SOURCE_DIR} --lcms2 ${KWOBL_LCMS2_SOURCE_DIR} --version ${KWOBL_VERSION_TEXT})
add_test(NAME demo_pictures_make COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target demo_pictures_zip)
add_test(NAME demo_pictures_zip
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/packaging/check_package.py demo ${KWOBL_DEMO_PICTURES_ZIP}
    --generator ${KWOBL_DEMO_PICTURES_GENERATOR_FILE})
set_tests_properties(package_zip demo_pictures_make PROPERTIES RESOURCE_LOCK kwobl_build_tree)
set_tests_properties(package_zip PROPERTIES FIXTURES_SETUP kwobl_package_zip)
set_tests_properties(package_contents PROPERTIES FIXTURES_REQUIRED kwobl_package_zip)
set_tests_properties(demo_pictures_make PROPERTIES FIXTURES_SETUP kwobl_demo_pictures_zip)
set_tests_properties(demo_pictures_zip PROPERTIES FIXTURES_REQUIRED kwobl_demo_pictures_zip)

# The installer package (cmake/msi.cmake): made by msi_make; its tables and files checked with msiinfo
# and msiextract (msi_contents); the build's refusal of a wrong picture folder (msi_picture_folder);
# and under Wine, in a prefix of its own, install, start, repair, upgrade, refused downgrade and
# uninstall (msi_under_wine).
add_test(NAME msi_make COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target msi)
set_tests_properties(msi_make PROPERTIES RESOURCE_LOCK kwobl_build_tree FIXTURES_SETUP kwobl_msi)
add_test(NAME msi_contents
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/packaging/check_msi.py ${KWOBL_MSI}
    --scr $<TARGET_FILE:kwobl> --pictures ${KWOBL_MSI_PICTURE_FOLDER} --texts ${KWOBL_PACKAGING_OUT}
    --version-header ${CMAKE_SOURCE_DIR}/resources/version.h)
set_tests_properties(msi_contents PROPERTIES FIXTURES_REQUIRED kwobl_msi)
list(FILTER KWOBL_MSI_ARGUMENTS EXCLUDE REGEX "^(--pictures|${KWOBL_MSI_PICTURE_FOLDER})$")
add_test(NAME msi_picture_folder
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/msi/test_picture_folder.py -- ${KWOBL_MSI_ARGUMENTS})
set_tests_properties(msi_picture_folder PROPERTIES FIXTURES_REQUIRED kwobl_msi)
add_test(NAME msi_under_wine
  COMMAND ${KWOBL_WINE_SESSION} ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/msi/test_msi_wine.py
    --msi ${KWOBL_MSI} --shots ${CMAKE_BINARY_DIR}/msi-shots
    -- --pictures ${KWOBL_MSI_PICTURE_FOLDER} ${KWOBL_MSI_ARGUMENTS})
set_tests_properties(msi_under_wine PROPERTIES FIXTURES_REQUIRED kwobl_msi RESOURCE_LOCK ${KWOBL_WINE_LOCK}
  TIMEOUT 600 ENVIRONMENT "KWOBL_WINE_PREFIX=${CMAKE_SOURCE_DIR}/build/wine/msi-prefix")

# The hardening of every Windows program file the build makes (cmake/hardening.cmake), read back from
# their headers (pe_hardening), and a check that the reader notices each fault planted in a copy of
# kwobl.scr (pe_hardening_reader).
set(KWOBL_PE_FILES)
foreach(target kwobl kwobl_test_triggers kwobl_win32_tests kwobl_e2e_helper kwobl_e2e_hook kwobl_e2e_tool
               kwobl_e2e_probe kwobl_bench kwobl_colour_bench)
  if(TARGET ${target})
    list(APPEND KWOBL_PE_FILES $<TARGET_FILE:${target}>)
  endif()
endforeach()
add_test(NAME pe_hardening COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/packaging/check_pe.py ${KWOBL_PE_FILES})
add_test(NAME pe_hardening_reader
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/packaging/check_pe.py --self-test $<TARGET_FILE:kwobl>)

# Signing with an organisation's certificate (cmake/signing.cmake): tests/signing/test_signing.py makes a
# throwaway authority and signer, builds a signed tree beside this one (build/windows-signed, only
# kwobl.scr, the zip and the installer package, on this tree's native tools and package pictures) and
# checks the signatures with osslsigncode, through a software token (SoftHSM) and, under Wine, with
# WinVerifyTrust through kwobl_verify_trust.exe.
add_executable(kwobl_verify_trust ${CMAKE_SOURCE_DIR}/tests/signing/verify_trust.cpp)
target_compile_definitions(kwobl_verify_trust PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_options(kwobl_verify_trust PRIVATE -municode -static)
target_link_libraries(kwobl_verify_trust PRIVATE wintrust)
set_target_properties(kwobl_verify_trust PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/signing)
find_program(KWOBL_OSSLSIGNCODE osslsigncode)
add_test(NAME signing
  COMMAND ${KWOBL_WINE_SESSION} ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/signing/test_signing.py
    --source ${CMAKE_SOURCE_DIR} --build ${CMAKE_BINARY_DIR}-signed
    --osslsigncode ${KWOBL_OSSLSIGNCODE} --verify-trust $<TARGET_FILE:kwobl_verify_trust>
    --unsigned $<TARGET_FILE:kwobl> --version ${KWOBL_VERSION_TEXT}
    --generator ${KWOBL_DEMO_PICTURES_GENERATOR_FILE} --checker ${KWOBL_PICTURE_CHECKER_FILE}
    --pictures ${KWOBL_MSI_PICTURE_FOLDER})
set_tests_properties(signing PROPERTIES RESOURCE_LOCK ${KWOBL_WINE_LOCK} TIMEOUT 1800
  FIXTURES_REQUIRED "kwobl_msi;kwobl_host_tools")
