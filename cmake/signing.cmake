# Authenticode signing of the release files with Debian's osslsigncode (SHA-256), for an organisation
# that signs with its own certificate. Nothing is signed unless one of these is given:
#
#   -DKWOBL_SIGN_PFX=FILE                 a PKCS#12 file with the key and its certificate chain
#   -DKWOBL_SIGN_PKCS11_MODULE=MODULE     or a key on a token: its PKCS#11 module (.so),
#   -DKWOBL_SIGN_KEY=pkcs11:...           the key's PKCS#11 URI, without its PIN,
#   -DKWOBL_SIGN_CERT=FILE|pkcs11:...     and the certificate (chain, PEM) or the certificate's URI
#   -DKWOBL_SIGN_PASSWORD_FILE=FILE       the PKCS#12 file's password, or the token's PIN (optional)
#   -DKWOBL_SIGN_TIMESTAMP_URL=URL        an RFC 3161 time-stamp authority (optional)
#
# kwobl.scr is signed right after it is linked, so that the zip (package) and the installer package
# (msi) take the signed file; the installer package is signed after it is made. The password or PIN
# is only ever in its file, which osslsigncode reads itself (-readpass): it is never on a command line,
# in the build's logs or in the cache. cmake/sign_file.cmake runs osslsigncode.
# Included where a signed file is made; the settings are read again in each folder's scope.
include_guard(DIRECTORY)

set(KWOBL_SIGN_PFX "" CACHE FILEPATH "PKCS#12 file to sign kwobl.scr and the installer package with")
set(KWOBL_SIGN_PKCS11_MODULE "" CACHE FILEPATH "PKCS#11 module of the token that holds the signing key")
set(KWOBL_SIGN_KEY "" CACHE STRING "PKCS#11 URI of the signing key on the token (no PIN in it)")
set(KWOBL_SIGN_CERT "" CACHE STRING "Certificate chain (PEM file) or PKCS#11 URI of the token's certificate")
set(KWOBL_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the PKCS#12 password or the token's PIN")
set(KWOBL_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp authority to stamp the signatures")

set(KWOBL_SIGN_ARGUMENTS "")
if(KWOBL_SIGN_PFX AND KWOBL_SIGN_PKCS11_MODULE)
  message(FATAL_ERROR "KWOBL_SIGN_PFX and KWOBL_SIGN_PKCS11_MODULE: sign with one or the other")
elseif(KWOBL_SIGN_PFX)
  if(NOT EXISTS "${KWOBL_SIGN_PFX}")
    message(FATAL_ERROR "KWOBL_SIGN_PFX: no file ${KWOBL_SIGN_PFX}")
  endif()
  set(KWOBL_SIGN_ARGUMENTS -DPFX=${KWOBL_SIGN_PFX})
elseif(KWOBL_SIGN_PKCS11_MODULE)
  if(NOT KWOBL_SIGN_KEY MATCHES "^pkcs11:" OR NOT KWOBL_SIGN_CERT)
    message(FATAL_ERROR "KWOBL_SIGN_PKCS11_MODULE needs KWOBL_SIGN_KEY=pkcs11:... and KWOBL_SIGN_CERT")
  endif()
  # A PIN written into a URI would be kept in the cache and shown on the command line.
  if("${KWOBL_SIGN_KEY};${KWOBL_SIGN_CERT}" MATCHES "pin-value=|pin-source=")
    message(FATAL_ERROR "KWOBL_SIGN_KEY and KWOBL_SIGN_CERT carry no PIN: put it in KWOBL_SIGN_PASSWORD_FILE")
  endif()
  # The attributes of a PKCS#11 URI are separated by semicolons, which must reach the command as such
  # rather than split it into several arguments.
  string(REPLACE ";" "$<SEMICOLON>" key "${KWOBL_SIGN_KEY}")
  string(REPLACE ";" "$<SEMICOLON>" certificate "${KWOBL_SIGN_CERT}")
  set(KWOBL_SIGN_ARGUMENTS -DPKCS11_MODULE=${KWOBL_SIGN_PKCS11_MODULE} -DKEY=${key} -DCERT=${certificate})
endif()

if(KWOBL_SIGN_ARGUMENTS)
  find_program(KWOBL_OSSLSIGNCODE osslsigncode)
  if(NOT KWOBL_OSSLSIGNCODE)
    message(FATAL_ERROR "Signing needs osslsigncode (apt-get install osslsigncode)")
  endif()
  list(PREPEND KWOBL_SIGN_ARGUMENTS -DOSSLSIGNCODE=${KWOBL_OSSLSIGNCODE})
  if(KWOBL_SIGN_PASSWORD_FILE)
    list(APPEND KWOBL_SIGN_ARGUMENTS -DPASSWORD_FILE=${KWOBL_SIGN_PASSWORD_FILE})
  endif()
  if(KWOBL_SIGN_TIMESTAMP_URL)
    list(APPEND KWOBL_SIGN_ARGUMENTS -DTIMESTAMP_URL=${KWOBL_SIGN_TIMESTAMP_URL})
  endif()
  get_property(told GLOBAL PROPERTY KWOBL_SIGN_TOLD)
  if(NOT told)
    set_property(GLOBAL PROPERTY KWOBL_SIGN_TOLD TRUE)
    message(STATUS "Signing kwobl.scr and the installer package with osslsigncode (${KWOBL_OSSLSIGNCODE})")
  endif()
endif()

# The command that signs FILE in place, for add_custom_command and add_custom_target; empty when the
# build does not sign: kwobl_sign_command(VARIABLE FILE).
function(kwobl_sign_command variable file)
  if(KWOBL_SIGN_ARGUMENTS)
    set(${variable} COMMAND ${CMAKE_COMMAND} ${KWOBL_SIGN_ARGUMENTS} -DFILE=${file}
      -P ${CMAKE_SOURCE_DIR}/cmake/sign_file.cmake PARENT_SCOPE)
  else()
    set(${variable} "" PARENT_SCOPE)
  endif()
endfunction()
