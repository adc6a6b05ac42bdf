# Signs one file in place with osslsigncode: Authenticode, SHA-256 (cmake -P, from cmake/signing.cmake).
#
#   cmake -DOSSLSIGNCODE=... -DFILE=... (-DPFX=FILE | -DPKCS11_MODULE=SO -DKEY=URI -DCERT=FILE|URI)
#         [-DPASSWORD_FILE=FILE] [-DTIMESTAMP_URL=URL] -P sign_file.cmake
#
# The signing time is the time of the build, or SOURCE_DATE_EPOCH when it is set: with the same key
# and certificate and no time stamp, the signed file is then the same bytes on every build.
foreach(name OSSLSIGNCODE FILE)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "sign_file.cmake needs -D${name}=...")
  endif()
endforeach()

set(arguments sign -h sha256)
if(DEFINED PFX)
  list(APPEND arguments -pkcs12 ${PFX})
elseif(DEFINED PKCS11_MODULE)
  # The URIs hold semicolons: they stay out of the argument list, which would split them.
  list(APPEND arguments -pkcs11module ${PKCS11_MODULE})
  set(certificate_option -certs)
  if(CERT MATCHES "^pkcs11:")
    set(certificate_option -pkcs11cert)
  endif()
else()
  message(FATAL_ERROR "sign_file.cmake needs -DPFX=... or -DPKCS11_MODULE=...")
endif()
# osslsigncode reads the password (or the token's PIN) from the file itself.
if(DEFINED PASSWORD_FILE)
  list(APPEND arguments -readpass ${PASSWORD_FILE})
endif()
if(DEFINED TIMESTAMP_URL)
  list(APPEND arguments -ts ${TIMESTAMP_URL})
endif()
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  list(APPEND arguments -time $ENV{SOURCE_DATE_EPOCH})
endif()

# osslsigncode writes a new file; the unsigned one is removed when that fails, so that the next build
# links and signs again instead of taking it.
set(signed "${FILE}.signed")
file(REMOVE "${signed}")
if(DEFINED PKCS11_MODULE)
  execute_process(COMMAND ${OSSLSIGNCODE} ${arguments} -key "${KEY}" ${certificate_option} "${CERT}"
      -in ${FILE} -out ${signed}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
else()
  execute_process(COMMAND ${OSSLSIGNCODE} ${arguments} -in ${FILE} -out ${signed}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
endif()
if(NOT result EQUAL 0)
  file(REMOVE "${FILE}" "${signed}")
  message(FATAL_ERROR "Signing ${FILE} failed:\n${output}")
endif()
file(RENAME "${signed}" "${FILE}")
get_filename_component(name "${FILE}" NAME)
message(STATUS "Signed ${name}")
