# Authenticode signatures (osslsigncode, SHA-256) on every file we ship: the
# modules right after linking, so the packages receive them signed, and the
# packages themselves once made.
#
# The signing identity comes from CMake cache variables or, when set, the
# environment variables of the same names (never from the repository):
#   QELT_SIGN_CERT + QELT_SIGN_KEY   certificate (chain) and private key files
#   QELT_SIGN_PKCS12                 or one PKCS#12 file holding both
#   QELT_SIGN_PASSWORD_FILE          a file holding the key's password
#   QELT_SIGN_TIMESTAMP_URL          an RFC 3161 time-stamp service
#   QELT_SIGN_CAFILE                 what the signature test trusts (default:
#                                    the system's certificate bundle)
# Without a certificate the build makes a test certificate of its own in
# <build>/signing and signs with it: such files verify only against it.
find_program(QELT_OSSLSIGNCODE osslsigncode REQUIRED)
find_program(QELT_OPENSSL openssl REQUIRED)

macro(qelt_sign_setting name type doc)
  set(${name} "" CACHE ${type} "${doc}")
  if(DEFINED ENV{${name}})
    set_property(CACHE ${name} PROPERTY VALUE "$ENV{${name}}")
  endif()
endmacro()
qelt_sign_setting(QELT_SIGN_CERT FILEPATH "Code-signing certificate (PEM or DER, chain allowed)")
qelt_sign_setting(QELT_SIGN_KEY FILEPATH "Private key of QELT_SIGN_CERT")
qelt_sign_setting(QELT_SIGN_PKCS12 FILEPATH "PKCS#12 file with certificate and key (instead of CERT and KEY)")
qelt_sign_setting(QELT_SIGN_PASSWORD_FILE FILEPATH "File holding the key's password")
qelt_sign_setting(QELT_SIGN_TIMESTAMP_URL STRING "RFC 3161 time-stamp service")
qelt_sign_setting(QELT_SIGN_CAFILE FILEPATH "Certificates the signature test trusts")

set(QELT_SIGNING_DIR ${CMAKE_BINARY_DIR}/signing)
if(QELT_SIGN_PKCS12 OR QELT_SIGN_CERT)
  foreach(_file QELT_SIGN_PKCS12 QELT_SIGN_CERT QELT_SIGN_KEY QELT_SIGN_PASSWORD_FILE)
    if(${_file} AND NOT EXISTS "${${_file}}")
      message(FATAL_ERROR "${_file}: no file '${${_file}}'")
    endif()
  endforeach()
  if(QELT_SIGN_CERT AND NOT QELT_SIGN_KEY)
    message(FATAL_ERROR "QELT_SIGN_CERT needs QELT_SIGN_KEY (or give QELT_SIGN_PKCS12)")
  endif()
  if(NOT QELT_SIGN_CAFILE)
    set(QELT_SIGN_CAFILE /etc/ssl/certs/ca-certificates.crt)
  endif()
  add_custom_target(qelt_signing_identity)
else()
  # A self-signed code-signing certificate for this build folder alone.
  set(_test_cert ${QELT_SIGNING_DIR}/test-signing.crt)
  set(_test_key ${QELT_SIGNING_DIR}/test-signing.key)
  add_custom_command(
    OUTPUT ${_test_cert} ${_test_key}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QELT_SIGNING_DIR}
    COMMAND ${QELT_OPENSSL} req -x509 -newkey rsa:2048 -sha256 -nodes -days 3650
            -subj "/O=${QELT_COMPANY_NAME}/CN=${QELT_PRODUCT_NAME} test signing (not for release)"
            -addext "keyUsage=critical,digitalSignature"
            -addext "extendedKeyUsage=codeSigning"
            -keyout ${_test_key} -out ${_test_cert}
    COMMENT "Making the test signing certificate"
    VERBATIM)
  add_custom_target(qelt_signing_identity DEPENDS ${_test_cert})
  set(QELT_SIGN_CERT ${_test_cert})
  set(QELT_SIGN_KEY ${_test_key})
  set(QELT_SIGN_PASSWORD_FILE "")
  set(QELT_SIGN_CAFILE ${_test_cert})
endif()

# The command that signs one file in place, given as its last argument (a
# list for add_custom_command).
set(QELT_SIGN_COMMAND ${CMAKE_COMMAND}
    -DOSSLSIGNCODE=${QELT_OSSLSIGNCODE}
    -DDESCRIPTION=${QELT_PRODUCT_NAME}
    -DCERT=${QELT_SIGN_CERT} -DKEY=${QELT_SIGN_KEY} -DPKCS12=${QELT_SIGN_PKCS12}
    -DPASSWORD_FILE=${QELT_SIGN_PASSWORD_FILE}
    -DTIMESTAMP_URL=${QELT_SIGN_TIMESTAMP_URL}
    -P ${CMAKE_CURRENT_LIST_DIR}/SignFile.cmake)

# qelt_sign_target(TARGET): the target's file is signed each time it is linked.
function(qelt_sign_target target)
  add_dependencies(${target} qelt_signing_identity)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${QELT_SIGN_COMMAND} $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
