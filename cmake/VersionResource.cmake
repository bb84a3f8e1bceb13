# vex_version_resource(TARGET DESCRIPTION): gives a Windows DLL or program a version resource
# from cmake/VersionInfo.rc.in: file and product version are the project's version (the CMake
# package's), the product name is the project's, the file description is DESCRIPTION. Natively
# it adds nothing.

# The maker and the notice that every version resource names.
set(VEX_COMPANY "The Orv3VexControl developers" CACHE STRING "CompanyName of the version resources")
set(VEX_COPYRIGHT "Copyright (C) The Orv3VexControl developers"
    CACHE STRING "LegalCopyright of the version resources")

if(WIN32)
    enable_language(RC)
endif()

function(vex_version_resource target description)
    if(NOT WIN32)
        return()
    endif()
    # FILEVERSION and PRODUCTVERSION take four numbers; parts the project version leaves out are 0.
    set(numbers "")
    foreach(part MAJOR MINOR PATCH TWEAK)
        if("${PROJECT_VERSION_${part}}" STREQUAL "")
            list(APPEND numbers 0)
        else()
            list(APPEND numbers ${PROJECT_VERSION_${part}})
        endif()
    endforeach()
    string(REPLACE ";" "," VEX_RC_VERSION "${numbers}")
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
        set(VEX_RC_FILE_TYPE VFT_APP)
        set(VEX_RC_FILE_NAME ${target}${CMAKE_EXECUTABLE_SUFFIX})
    else()
        set(VEX_RC_FILE_TYPE VFT_DLL)
        set(VEX_RC_FILE_NAME ${CMAKE_SHARED_LIBRARY_PREFIX}${target}${CMAKE_SHARED_LIBRARY_SUFFIX})
    endif()
    set(VEX_RC_DESCRIPTION "${description}")
    set(VEX_RC_INTERNAL_NAME ${target})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
endfunction()
