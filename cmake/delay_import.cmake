# Makes the delay-load import library OUTPUT of DLL from the tool chain's import library
# IMPORT_LIBRARY: every function that one imports (its __imp_ symbols) goes into a module definition
# file, and dlltool makes the library from that. Run with cmake -P; see delay_load.cmake.
foreach(variable NM DLLTOOL DLL IMPORT_LIBRARY OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not given")
  endif()
endforeach()

execute_process(COMMAND ${NM} -g ${IMPORT_LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} cannot read ${IMPORT_LIBRARY}")
endif()
string(REGEX MATCHALL "[ \t]I __imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
list(TRANSFORM imports REPLACE "^[ \t]I __imp_" "")
list(REMOVE_DUPLICATES imports)
list(SORT imports)
list(LENGTH imports count)
if(count EQUAL 0)
  message(FATAL_ERROR "${IMPORT_LIBRARY} imports nothing")
endif()
list(JOIN imports "\n" lines)

get_filename_component(folder ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
file(WRITE ${folder}/${DLL}.def "LIBRARY ${DLL}.dll\nEXPORTS\n${lines}\n")
# dlltool writes its temporary files into the working folder, one folder per DLL.
execute_process(COMMAND ${DLLTOOL} --input-def ${DLL}.def --dllname ${DLL}.dll --output-delaylib ${OUTPUT}
                        --temp-prefix ${DLL}_
  WORKING_DIRECTORY ${folder} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${DLLTOOL} could not make ${OUTPUT}")
endif()
