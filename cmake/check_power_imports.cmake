# Fails when the program file PROGRAM could keep the display or the machine awake: when its import table,
# its delay-load import table or any other string in it names SetThreadExecutionState or a power request
# (PowerCreateRequest, PowerSetRequest, PowerClearRequest). The delay-load tables of our tool chain are
# not listed by objdump, so the file's own strings are searched as well; a name looked up at run time
# would be there too. It also fails when the program no longer asks to hear of the display's power state.
# Run with cmake -DPROGRAM=... -DOBJDUMP=... -P check_power_imports.cmake.
foreach(variable PROGRAM OBJDUMP)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not given")
  endif()
endforeach()

set(forbidden SetThreadExecutionState PowerCreateRequest PowerSetRequest PowerClearRequest)
list(JOIN forbidden "|" pattern)

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE table RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} cannot read ${PROGRAM}")
endif()
string(REGEX MATCHALL "(${pattern})" imported "${table}")
file(STRINGS ${PROGRAM} named REGEX "(${pattern})")
if(imported OR named)
  list(REMOVE_DUPLICATES imported)
  message(FATAL_ERROR "${PROGRAM} could keep the display or the machine awake: ${imported} ${named}")
endif()
file(STRINGS ${PROGRAM} registered REGEX "^RegisterPowerSettingNotification$")
if(NOT registered)
  message(FATAL_ERROR "${PROGRAM} does not ask to hear when the display goes off")
endif()
message(STATUS "${PROGRAM}: no execution state, no power request; the display's state is listened to")
