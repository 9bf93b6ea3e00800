# The zstd decoder that the setup program and the uninstaller link. With mingw-w64 it
# is the library that tools/build-zstd-decoder.sh builds from Debian's source package
# (lib/common and lib/decompress only); with MSVC a package manager's zstd.
if(MSVC)
    find_package(zstd CONFIG REQUIRED)
    if(TARGET zstd::libzstd_static)
        add_library(elvara_zstd_decoder ALIAS zstd::libzstd_static)
    else()
        add_library(elvara_zstd_decoder ALIAS zstd::libzstd_shared)
    endif()
else()
    set(ELVARA_ZSTD_DECODER_DIR "${CMAKE_SOURCE_DIR}/.deps/zstd-decoder" CACHE PATH
        "The zstd decoder built by tools/build-zstd-decoder.sh")
    if(NOT EXISTS "${ELVARA_ZSTD_DECODER_DIR}/lib/libzstd_decoder.a")
        message(FATAL_ERROR "The zstd decoder is missing in ${ELVARA_ZSTD_DECODER_DIR}: "
                            "run tools/install-dependencies.sh, which builds it with tools/build-zstd-decoder.sh")
    endif()
    add_library(elvara_zstd_decoder STATIC IMPORTED)
    set_target_properties(elvara_zstd_decoder PROPERTIES
        IMPORTED_LOCATION "${ELVARA_ZSTD_DECODER_DIR}/lib/libzstd_decoder.a"
        INTERFACE_INCLUDE_DIRECTORIES "${ELVARA_ZSTD_DECODER_DIR}/include")
endif()
