# Optional Authenticode signing with osslsigncode. The uninstaller and the placeholder
# module are signed before they are packaged, so the digests in the package are those
# of the signed files; the installer is signed last.
if(ELVARA_SIGN_PFX)
    find_program(OSSLSIGNCODE osslsigncode REQUIRED)
    message(STATUS "Signing with ${ELVARA_SIGN_PFX}")
else()
    message(STATUS "Signing skipped: no certificate (set ELVARA_SIGN_PFX to sign)")
endif()

function(elvara_sign target)
    if(ELVARA_SIGN_PFX)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${CMAKE_SOURCE_DIR}/tools/sign.sh ${ELVARA_SIGN_PFX} $<TARGET_FILE:${target}>
            COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
            VERBATIM)
    endif()
endfunction()
