# Fills the package-manager manifest templates with the built installer's SHA-256.
#   cmake -DINSTALLER=... -DTEMPLATES=... -DOUTPUT=... -DELVARA_...=... -P WingetManifest.cmake
file(SHA256 "${INSTALLER}" digest)
string(TOUPPER "${digest}" ELVARA_INSTALLER_SHA256)
file(MAKE_DIRECTORY "${OUTPUT}")
configure_file("${TEMPLATES}/version.yaml.in" "${OUTPUT}/${ELVARA_WINGET_ID}.yaml" @ONLY)
configure_file("${TEMPLATES}/installer.yaml.in" "${OUTPUT}/${ELVARA_WINGET_ID}.installer.yaml" @ONLY)
configure_file("${TEMPLATES}/locale.en-US.yaml.in" "${OUTPUT}/${ELVARA_WINGET_ID}.locale.en-US.yaml" @ONLY)
