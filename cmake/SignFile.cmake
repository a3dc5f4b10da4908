# Signs a file in place with osslsigncode: Authenticode, SHA-256, time-stamped
# when TIMESTAMP_URL is given. Run by the build as
#   cmake -DOSSLSIGNCODE=... -DDESCRIPTION=... (-DCERT=... -DKEY=... | -DPKCS12=...)
#         [-DPASSWORD_FILE=...] [-DTIMESTAMP_URL=...] -P SignFile.cmake FILE
math(EXPR _last "${CMAKE_ARGC} - 1")
set(FILE "${CMAKE_ARGV${_last}}")
set(_args sign -h sha256 -n "${DESCRIPTION}")
if(PKCS12)
  list(APPEND _args -pkcs12 "${PKCS12}")
else()
  list(APPEND _args -certs "${CERT}" -key "${KEY}")
endif()
if(PASSWORD_FILE)
  list(APPEND _args -readpass "${PASSWORD_FILE}")
endif()
if(TIMESTAMP_URL)
  list(APPEND _args -ts "${TIMESTAMP_URL}")
endif()
# Into a second file first: an interrupted run never leaves a half-signed one.
set(_signed "${FILE}.signing")
file(REMOVE "${_signed}")
execute_process(COMMAND "${OSSLSIGNCODE}" ${_args} -in "${FILE}" -out "${_signed}"
                RESULT_VARIABLE _status OUTPUT_VARIABLE _output ERROR_VARIABLE _output)
if(NOT _status EQUAL 0)
  file(REMOVE "${_signed}")
  message(FATAL_ERROR "Signing ${FILE} failed:\n${_output}")
endif()
file(RENAME "${_signed}" "${FILE}")
