# Compiler and linker settings shared by every Windows target, and the system
# libraries, with each DLL that is not a KnownDLL delay-loaded: normal imports
# resolve before wWinMain runs, so only a delay-load lets
# SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) keep a planted copy
# beside the executable from being loaded.
set(ELVARA_DELAY_LOADED d2d1 dwrite dwmapi bcrypt oleacc rstrtmgr)

add_library(elvara_system_libraries INTERFACE)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)

if(MINGW)
    add_compile_options(-municode -Wall -Wextra -Wno-missing-field-initializers
        # No build paths in the binaries: two clean builds in different folders match.
        -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build
        -ffunction-sections -fdata-sections)
    add_link_options(-municode -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp
        -Wl,--build-id=none -Wl,--gc-sections)
    if(CMAKE_BUILD_TYPE STREQUAL "Release")
        add_link_options(-s)
        # Size over speed: the hot paths are the platform's hashing and file writes.
        string(REPLACE "-O3" "-Os" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
        string(REPLACE "-O3" "-Os" CMAKE_C_FLAGS_RELEASE "${CMAKE_C_FLAGS_RELEASE}")
    endif()
    # windres: deterministic output and the language of every resource given in the script.
    set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

    set(delay_libraries "")
    foreach(dll IN LISTS ELVARA_DELAY_LOADED)
        set(library "${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a")
        add_custom_command(
            OUTPUT ${library}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delayload
            COMMAND ${CMAKE_DLLTOOL} --input-def ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def
                    --dllname ${dll}.dll --output-delaylib ${library}
            DEPENDS ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def
            COMMENT "Delay-load import library for ${dll}.dll")
        list(APPEND delay_libraries ${library})
    endforeach()
    add_custom_target(elvara_delay_libraries DEPENDS ${delay_libraries})
    add_dependencies(elvara_system_libraries elvara_delay_libraries)
    target_link_libraries(elvara_system_libraries INTERFACE
        ${delay_libraries} shell32 ole32 oleaut32 user32 gdi32 advapi32 uuid windowscodecs ntdll)
else()
    add_compile_options(/W4 /permissive- /utf-8 /Brepro)
    add_link_options(/Brepro)
    set(delay_flags "")
    foreach(dll IN LISTS ELVARA_DELAY_LOADED)
        list(APPEND delay_flags "/DELAYLOAD:${dll}.dll")
    endforeach()
    target_link_libraries(elvara_system_libraries INTERFACE
        ${ELVARA_DELAY_LOADED} delayimp shell32 ole32 oleaut32 user32 gdi32 advapi32 uuid windowscodecs ntdll)
    target_link_options(elvara_system_libraries INTERFACE ${delay_flags})
endif()

# Warnings are errors in the project's own code (not in GoogleTest's).
function(elvara_strict_warnings target)
    if(MINGW)
        target_compile_options(${target} PRIVATE -Werror)
    else()
        target_compile_options(${target} PRIVATE /WX)
    endif()
endfunction()

# Sections page-aligned in the file, for executables that carry the package: a loader
# that cannot map sections whose file alignment is below the page size reads the whole
# image (the package included) into private memory instead of mapping it.
function(elvara_page_aligned_sections target)
    if(MINGW)
        target_link_options(${target} PRIVATE -Wl,--file-alignment,4096)
    else()
        target_link_options(${target} PRIVATE /FILEALIGN:4096)
    endif()
endfunction()
