# The package writer and the icon maker run on the build machine while the product
# is cross-compiled, so they are compiled with the build machine's own compiler.
set(host_tools_dir "${CMAKE_BINARY_DIR}/host-tools")
set(writer_sources ${CMAKE_SOURCE_DIR}/tools/package_writer.cpp ${CMAKE_SOURCE_DIR}/tools/sha256.cpp
    ${CMAKE_SOURCE_DIR}/package/package_format.cpp ${CMAKE_SOURCE_DIR}/package/sha256_blocks.cpp)
# The writer compresses with the build machine's zstd (Debian's libzstd-dev).

if(CMAKE_CROSSCOMPILING)
    set(ELVARA_PACKAGE_WRITER "${host_tools_dir}/package_writer")
    set(ELVARA_LAYOUT_EXPORT "${host_tools_dir}/layout_export")
    add_custom_command(
        OUTPUT ${ELVARA_LAYOUT_EXPORT}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${host_tools_dir}
        COMMAND ${ELVARA_HOST_CXX} -std=c++20 -O2 -Wall -Wextra -Werror -I${CMAKE_SOURCE_DIR}
                ${CMAKE_SOURCE_DIR}/tools/layout_export.cpp -o ${ELVARA_LAYOUT_EXPORT}
        DEPENDS ${CMAKE_SOURCE_DIR}/tools/layout_export.cpp ${CMAKE_SOURCE_DIR}/ui/layout.h
        COMMENT "Building the layout exporter for the build machine")
    set(ELVARA_ICON_MAKER "${host_tools_dir}/make_icon")
    add_custom_command(
        OUTPUT ${ELVARA_PACKAGE_WRITER}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${host_tools_dir}
        COMMAND ${ELVARA_HOST_CXX} -std=c++20 -O2 -Wall -Wextra -Werror -I${CMAKE_SOURCE_DIR} ${writer_sources}
                -lzstd -o ${ELVARA_PACKAGE_WRITER}
        DEPENDS ${writer_sources} ${CMAKE_SOURCE_DIR}/package/package_format.h ${CMAKE_SOURCE_DIR}/tools/sha256.h
                ${CMAKE_SOURCE_DIR}/package/sha256_blocks.h ${CMAKE_SOURCE_DIR}/package/digest_stream.h
        COMMENT "Building the package writer for the build machine")
    add_custom_command(
        OUTPUT ${ELVARA_ICON_MAKER}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${host_tools_dir}
        COMMAND ${ELVARA_HOST_CXX} -std=c++20 -O2 ${CMAKE_SOURCE_DIR}/tools/make_icon.cpp -o ${ELVARA_ICON_MAKER}
        DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_icon.cpp
        COMMENT "Building the icon maker for the build machine")
else()
    add_executable(package_writer ${writer_sources})
    target_include_directories(package_writer PRIVATE ${CMAKE_SOURCE_DIR})
    target_link_libraries(package_writer PRIVATE elvara_zstd_decoder)
    add_executable(make_icon ${CMAKE_SOURCE_DIR}/tools/make_icon.cpp)
    add_executable(layout_export ${CMAKE_SOURCE_DIR}/tools/layout_export.cpp)
    target_include_directories(layout_export PRIVATE ${CMAKE_SOURCE_DIR})
    set(ELVARA_LAYOUT_EXPORT $<TARGET_FILE:layout_export>)
    set(ELVARA_PACKAGE_WRITER $<TARGET_FILE:package_writer>)
    set(ELVARA_ICON_MAKER $<TARGET_FILE:make_icon>)
endif()

# The layout as shell variables for the end-to-end scripts.
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/generated/layout.sh
    COMMAND ${ELVARA_LAYOUT_EXPORT} ${CMAKE_BINARY_DIR}/generated/layout.sh
    DEPENDS ${ELVARA_LAYOUT_EXPORT}
    COMMENT "Writing the wizard layout for the end-to-end tests")
add_custom_target(elvara_layout_export ALL DEPENDS ${CMAKE_BINARY_DIR}/generated/layout.sh)
