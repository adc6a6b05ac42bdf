# Import libraries whose DLLs are loaded at the first call into them rather than when the program
# starts (delay loading, as the Microsoft linker's /DELAYLOAD does).
#
# The program file is also its own decoder process, which needs none of the user-interface DLLs:
# loading user32, gdi32, comctl32, imm32 and ole32 at every start of it would cost more than the rest
# of its start together. The delay-load import libraries are made from the tool chain's own import
# libraries with dlltool; the helper that loads a DLL at its first call, __delayLoadHelper2, comes
# with the MinGW-w64 runtime.
find_program(KWOBL_DLLTOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
set(KWOBL_DELAY_IMPORT_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/delay_import.cmake)

# kwobl_delay_load_libraries(TARGET DLL...): an interface library TARGET that links each DLL (as
# named for -l: user32, gdi32...) delay-loaded.
function(kwobl_delay_load_libraries target)
  set(outputs)
  foreach(dll IN LISTS ARGN)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${dll}.a
      OUTPUT_VARIABLE import_library OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${import_library}" OR NOT EXISTS "${import_library}")
      message(FATAL_ERROR "no import library lib${dll}.a in the tool chain")
    endif()
    file(REAL_PATH ${import_library} import_library)
    set(folder ${CMAKE_BINARY_DIR}/delay_load/${dll})
    set(output ${folder}/lib${dll}_delay.a)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${KWOBL_DLLTOOL} -DDLL=${dll}
              -DIMPORT_LIBRARY=${import_library} -DOUTPUT=${output} -P ${KWOBL_DELAY_IMPORT_SCRIPT}
      DEPENDS ${import_library} ${KWOBL_DELAY_IMPORT_SCRIPT}
      COMMENT "Making the delay-load import library of ${dll}.dll"
      VERBATIM)
    list(APPEND outputs ${output})
  endforeach()
  add_custom_target(${target}_libraries DEPENDS ${outputs})
  add_library(${target} INTERFACE)
  add_dependencies(${target} ${target}_libraries)
  target_link_libraries(${target} INTERFACE ${outputs})
endfunction()
