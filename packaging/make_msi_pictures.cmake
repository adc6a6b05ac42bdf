# Makes the demo pictures of the installer package, all fifty (cmake -P, from the msi target):
#   cmake -DGENERATOR=... -DFOLDER=... -P make_msi_pictures.cmake
# The pictures depend only on the generator, so a folder made after the generator was built is kept.
foreach(name GENERATOR FOLDER)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "make_msi_pictures.cmake needs -D${name}=...")
  endif()
endforeach()

if(NOT EXISTS "${GENERATOR}")
  message(FATAL_ERROR "The package's demo pictures come from the native generator, which is missing:\n"
    "  ${GENERATOR}\n"
    "The windows preset's host build makes it (target kwobl_host_tools), unless\n"
    "-DKWOBL_DEMO_PICTURES_GENERATOR=PATH names another; -DKWOBL_MSI_PICTURES=FOLDER names your own pictures.")
endif()

set(stamp "${FOLDER}/../msi-demo-pictures.stamp")
if(EXISTS "${stamp}" AND "${stamp}" IS_NEWER_THAN "${GENERATOR}")
  return()
endif()
file(REMOVE_RECURSE "${FOLDER}")
file(MAKE_DIRECTORY "${FOLDER}")
execute_process(COMMAND "${GENERATOR}" "${FOLDER}" --all --jobs 2 OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
file(TOUCH "${stamp}")
