# Run by CPack after it has written the package (CPACK_POST_BUILD_SCRIPTS): writes each zip again with
# fixed entry times and sorted names, since CPack's archive keeps the staged files' times.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND ${CPACK_KWOBL_PYTHON} ${CPACK_KWOBL_ZIP_TOOL} rewrite ${package}
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
