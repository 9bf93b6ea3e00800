# Writes the licence as a C string literal of its exact bytes, so the text the
# window shows can never differ from the Product/EULA.txt that is installed.
#   cmake -DINPUT=EULA.txt -DOUTPUT=licence_text.inc -P EmbedLicence.cmake
file(READ "${INPUT}" bytes HEX)
string(REGEX REPLACE "(..)" "\\\\x\\1" escaped "${bytes}")
# Break the literal into lines of 32 bytes so the generated file stays readable.
string(REGEX REPLACE "((\\\\x..){32})" "\\1\"\n    \"" escaped "${escaped}")
file(WRITE "${OUTPUT}.tmp" "// Generated from Product/EULA.txt; do not edit.\nconstexpr char licenceTextUtf8[] =\n    \"${escaped}\";\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
