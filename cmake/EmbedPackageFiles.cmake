# Writes the files of the package that the uninstaller comes with, with their sizes
# and SHA-256, so that a folder without a valid record is judged by bytes, not names.
#   cmake -DFILES="name=path;..." -DOUTPUT=package_files.inc -P EmbedPackageFiles.cmake
set(lines "")
foreach(pair IN LISTS FILES)
    string(FIND "${pair}" "=" split)
    string(SUBSTRING "${pair}" 0 ${split} name)
    math(EXPR start "${split} + 1")
    string(SUBSTRING "${pair}" ${start} -1 path)
    file(SIZE "${path}" size)
    file(SHA256 "${path}" digest)
    string(APPEND lines "    {\"${name}\", ${size}, \"${digest}\"},\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from the payload; do not edit. The uninstaller itself is judged by its own\n// bytes, which it cannot hold.\nconstexpr BuiltInFile builtInFiles[] = {\n${lines}};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
