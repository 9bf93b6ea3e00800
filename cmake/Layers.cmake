# The folders of the product and which others each may use: dependencies point one
# way, from app down to base. Each product folder is a library whose
# target_link_libraries state exactly this; tests/structure/check_includes.sh checks
# every #include against the same table (written to generated/layers.txt).
set(ELVARA_LAYER_USES_base "")
set(ELVARA_LAYER_USES_package base)
set(ELVARA_LAYER_USES_install package base)
set(ELVARA_LAYER_USES_graphics base)
set(ELVARA_LAYER_USES_language base)
set(ELVARA_LAYER_USES_ui install graphics language package base)
set(ELVARA_LAYER_USES_app ui install graphics language package base)
# Programs beside the product: what each may include.
set(ELVARA_LAYER_USES_uninstaller install language package base)
set(ELVARA_LAYER_USES_tools package ui) # build-machine tools: the platform-free rules and the layout only

set(ELVARA_LAYERS base package install graphics language ui app uninstaller tools)
set(layer_lines "")
foreach(layer IN LISTS ELVARA_LAYERS)
    string(REPLACE ";" " " uses "${ELVARA_LAYER_USES_${layer}}")
    string(APPEND layer_lines "${layer}: ${uses}\n")
endforeach()
file(WRITE ${CMAKE_BINARY_DIR}/generated/layers.txt "${layer_lines}")

# One library per product folder, linked to the libraries of the folders it may use.
function(elvara_layer_library layer)
    add_library(elvara_${layer} STATIC ${ARGN})
    set(used "")
    foreach(lower IN LISTS ELVARA_LAYER_USES_${layer})
        list(APPEND used elvara_${lower})
    endforeach()
    target_link_libraries(elvara_${layer} PUBLIC ${used} elvara_system_libraries)
    target_include_directories(elvara_${layer} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
    elvara_strict_warnings(elvara_${layer})
endfunction()
