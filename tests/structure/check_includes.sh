#!/bin/bash
# Every #include of a product folder's header must be allowed by the layer table
# (cmake/Layers.cmake, written to BUILD/generated/layers.txt): a folder may include
# its own headers and those of the folders it uses, nothing above it.
#   check_includes.sh SOURCE_DIR LAYERS_FILE
set -uo pipefail
source_dir=${1:?usage: check_includes.sh SOURCE_DIR LAYERS_FILE}
layers_file=${2:?usage: check_includes.sh SOURCE_DIR LAYERS_FILE}
declare -A uses
while IFS=: read -r layer allowed; do
    [[ -n $layer ]] && uses[$layer]=" $layer $allowed "
done <"$layers_file"
violations=0
checked=0
for layer in "${!uses[@]}"; do
    [[ -d $source_dir/$layer ]] || continue
    while IFS= read -r -d '' file; do
        while IFS= read -r line; do
            target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"/]+)\/.*/\1/' <<<"$line")
            [[ -n ${uses[$target]+set} ]] || continue # not a product folder (generated, local)
            checked=$((checked + 1))
            if [[ ${uses[$layer]} != *" $target "* ]]; then
                echo "not allowed: ${file#"$source_dir"/} includes $target/ (${layer} may use:${uses[$layer]})" >&2
                violations=$((violations + 1))
            fi
        done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+/' "$file")
    done < <(find "$source_dir/$layer" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.in' -o -name '*.inc' \) -print0)
done
echo "$checked includes of product folders checked, $violations not allowed"
((checked > 0 && violations == 0))
