# Makes an MSI package of the control: stages the module, the bridge host,
# its host manifests and the action library next to the .wxs (wixl takes
# source paths relative to it), runs wixl with the architecture's arguments
# and VERSION (a.b.c), and writes the programs' file version (a.b.c.0) into
# the File table, which wixl leaves empty (the installer would otherwise
# treat them as unversioned).
#   cmake -DWIXL=... -DMSIBUILD=... -DWIXL_ARGS="arg|arg|..." -DWXS=... -DOCX=...
#         -DBRIDGE=qelt-bridge.exe -DHOST_MANIFESTS=folder -DCHROMIUM_IDS=id,id -DACTIONS=...
#         -DVERSION=a.b.c -DSTAGE=folder -DOUT=package.msi -P PackMsi.cmake
# The build makes the shipped package with it; the installer tests make
# packages of other versions.
string(REPLACE "|" ";" _wixl_args "${WIXL_ARGS}")
file(MAKE_DIRECTORY "${STAGE}")
configure_file("${WXS}" "${STAGE}/QELTReader.wxs" COPYONLY)
configure_file("${OCX}" "${STAGE}/QELTReaderProj1.ocx" COPYONLY)
configure_file("${ACTIONS}" "${STAGE}/QeltSetupActions.dll" COPYONLY)
configure_file("${BRIDGE}" "${STAGE}/qelt-bridge.exe" COPYONLY)
file(REMOVE_RECURSE "${STAGE}/manifests")
file(COPY "${HOST_MANIFESTS}/" DESTINATION "${STAGE}/manifests" FILES_MATCHING PATTERN "*.json")
file(REMOVE "${OUT}")

function(checked program)
  if(NOT _status EQUAL 0)
    file(REMOVE "${OUT}")
    message(FATAL_ERROR "${program} failed:\n${_output}")
  endif()
endfunction()
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE _status OUTPUT_VARIABLE _output ERROR_VARIABLE _output)
  checked("${ARGV0}")
endfunction()

# The default extension IDs hold semicolons: one quoted argument, not a list.
string(REPLACE "," ";" _chromium_ids "${CHROMIUM_IDS}")
execute_process(COMMAND "${WIXL}" ${_wixl_args} -D "Version=${VERSION}" -D OcxPath=QELTReaderProj1.ocx
                -D BridgePath=qelt-bridge.exe -D HostManifests=manifests -D "ChromiumExtensionIds=${_chromium_ids}"
                -D ActionsPath=QeltSetupActions.dll -o "${OUT}" "${STAGE}/QELTReader.wxs"
                RESULT_VARIABLE _status OUTPUT_VARIABLE _output ERROR_VARIABLE _output)
checked("${WIXL}")
run("${MSIBUILD}" "${OUT}" -q
    "UPDATE `File` SET `Version` = '${VERSION}.0', `Language` = '1028' WHERE `File` = 'ControlModule' OR `File` = 'BridgeHost'")
# wixl ignores Property/@Secure: CHROMIUMEXTENSIONIDS joins the upgrade's
# properties, so an elevated or assigned install still receives it.
execute_process(COMMAND "${MSIBUILD}" "${OUT}" -q
                "UPDATE `Property` SET `Value` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;CHROMIUMEXTENSIONIDS' WHERE `Property` = 'SecureCustomProperties'"
                RESULT_VARIABLE _status OUTPUT_VARIABLE _output ERROR_VARIABLE _output)
checked("${MSIBUILD}")
