#!/bin/bash
# The setup executable's sections, the package's resource section above all, start on
# page boundaries in the file, so that the loader maps the package instead of copying it.
#   page_aligned.sh OBJDUMP EXE
set -uo pipefail
objdump=${1:?usage: page_aligned.sh OBJDUMP EXE}
exe=${2:?usage: page_aligned.sh OBJDUMP EXE}
alignment=$("$objdump" -p "$exe" | awk '$1 == "FileAlignment" { print $2 }')
rsrc_offset=$("$objdump" -h "$exe" | awk '$2 == ".rsrc" { print $6 }')
status=0
[[ $((16#$alignment)) -eq 4096 ]] || { echo "FileAlignment is 0x$alignment, not 0x1000" >&2; status=1; }
[[ -n $rsrc_offset && $((16#$rsrc_offset % 4096)) -eq 0 ]] || { echo ".rsrc starts at file offset 0x$rsrc_offset" >&2; status=1; }
[[ $status -eq 0 ]] && echo "sections page-aligned; .rsrc at file offset 0x$rsrc_offset"
exit $status
