# Makes the demo pictures' zip with the native generator (cmake -P, from the demo_pictures_zip target):
#   cmake -DGENERATOR=... -DPYTHON=... -DZIP_TOOL=... -DWORK=FOLDER -DOUTPUT=ZIP -P make_demo_pictures_zip.cmake
# The pictures depend only on the generator, so a zip newer than the generator is kept.
foreach(name GENERATOR PYTHON ZIP_TOOL WORK OUTPUT)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "make_demo_pictures_zip.cmake needs -D${name}=...")
  endif()
endforeach()

if(NOT EXISTS "${GENERATOR}")
  message(FATAL_ERROR "The demo pictures come from the native generator, which is missing:\n"
    "  ${GENERATOR}\n"
    "The windows preset's host build makes it (target kwobl_host_tools), unless\n"
    "-DKWOBL_DEMO_PICTURES_GENERATOR=PATH names another.")
endif()

if(EXISTS "${OUTPUT}" AND "${OUTPUT}" IS_NEWER_THAN "${GENERATOR}"
   AND "${OUTPUT}" IS_NEWER_THAN "${ZIP_TOOL}")
  message(STATUS "${OUTPUT} is up to date")
  return()
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND "${GENERATOR}" "${WORK}" --jobs 2 OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${PYTHON}" "${ZIP_TOOL}" create "${OUTPUT}" "${WORK}" COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE "${WORK}")
message(STATUS "${OUTPUT}")
