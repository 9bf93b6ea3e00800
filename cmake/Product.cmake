# The product's constants, one source for the code, the resource scripts and the
# manifests: a release changes project(VERSION) and nothing else.
set(ELVARA_PRODUCT_NAME "ElvaraSound Livewire Edition" CACHE STRING "Product name shown to users and in Installed apps")
set(ELVARA_PUBLISHER "Anselm Rook / ElvaraSound" CACHE STRING "Publisher shown in the wizard, the version resource and Installed apps")
set(ELVARA_PRODUCT_SHORT_NAME "ElvaraSound" CACHE STRING "Short product name of the version resource")
set(ELVARA_VERSION_LABEL "Preview" CACHE STRING "Word after the version in the ProductVersion string")

set(ELVARA_VERSION "${PROJECT_VERSION}")
set(ELVARA_VERSION_QUAD "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
set(ELVARA_VERSION_DOTTED "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")

set(ELVARA_GENERATED "${CMAKE_BINARY_DIR}/generated")
configure_file(${CMAKE_SOURCE_DIR}/cmake/product/product.h.in ${ELVARA_GENERATED}/base/product.h @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/cmake/product/product_resource.h.in ${ELVARA_GENERATED}/product_resource.h @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/setup.manifest.in ${ELVARA_GENERATED}/setup.manifest @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/uninstaller/uninstall.manifest.in ${ELVARA_GENERATED}/uninstall.manifest @ONLY)
