# Test-only variants of Vossel.exe for the fault tests, built from the same sources into
# fault-<name>/Vossel.exe beside the real one. Only the files that test a variant's define are
# compiled again with it; everything else is the real exe's libraries, whose objects the linker
# then takes only for what the variant's own objects leave undefined. A define tested in a header
# changes every object that includes it (an inline variable), so such a variant is compiled whole.
if(MSVC)
    return()
endif()

file(GLOB_RECURSE fault_scanned_files CONFIGURE_DEPENDS src/*.cpp src/*.h)

function(vossel_fault_variant name definition)
    set(target VosselFault_${name})
    set(own_sources)
    set(whole FALSE)
    foreach(file IN LISTS fault_scanned_files)
        file(STRINGS ${file} uses REGEX "${definition}([^A-Z0-9_]|$)")
        if(NOT uses)
            continue()
        elseif(file MATCHES "\\.h$")
            set(whole TRUE)
        elseif(NOT file MATCHES "/winmain\\.cpp$")
            list(APPEND own_sources ${file})
        endif()
    endforeach()
    if(whole)
        add_executable(${target} WIN32 src/app/winmain.cpp ${app_sources} ${platform_sources}
            resources/vossel.rc)
        target_include_directories(${target} PRIVATE src resources)
        target_compile_options(${target} PRIVATE ${hardening_compile})
        target_link_libraries(${target} PRIVATE vossel_logic user32 gdi32 uuid advapi32 comctl32)
    else()
        add_executable(${target} WIN32 src/app/winmain.cpp ${own_sources} resources/vossel.rc)
        target_link_libraries(${target} PRIVATE vossel_app)
    endif()
    target_compile_definitions(${target} PRIVATE ${windows_definitions} ${definition})
    target_link_libraries(${target} PRIVATE ${static_runtime} ${hardening_link})
    if(EXISTS "${VOSSEL_SEGMENT_FONT}")
        target_compile_definitions(${target} PRIVATE VOSSEL_EMBED_SEGMENT_FONT)
    endif()
    # The generated version numbers and event messages.
    target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated)
    add_dependencies(${target} vossel_messages vossel_texts)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME Vossel
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fault-${name})
endfunction()

# A late-bound name that user32 lacks: the error message and exit code 453 instead of a crash.
vossel_fault_variant(missing-export VOSSEL_FAULT_MISSING_EXPORT)
# Without the DLL search restriction: shows that the planted-DLL test can see a planted DLL load.
vossel_fault_variant(no-dll-restriction VOSSEL_FAULT_NO_DLL_RESTRICTION)
# Its own machine-wide writes refused, as for an unelevated user on Windows: the elevated copy
# has to make them.
vossel_fault_variant(refuse-machine-write VOSSEL_FAULT_REFUSE_MACHINE_WRITE)
# Clocks as after a resume, from VOSSEL_TEST_CLOCKS: Wine's sessions never sleep, so only this
# build takes the resume path and the "not measured" caption under Wine.
vossel_fault_variant(clocks VOSSEL_FAULT_CLOCKS_FROM_ENVIRONMENT)
# A ten-minute life: the soak test's work never races the program's own end.
vossel_fault_variant(long-life VOSSEL_FAULT_LONG_LIFE)
# Start records from VOSSEL_TEST_HISTORY instead of the event log, which Wine cannot query: the
# history window's chart, summary and list end to end.
vossel_fault_variant(history VOSSEL_FAULT_HISTORY_FROM_ENVIRONMENT)
# The caption from VOSSEL_TEST_CAPTION instead of the measured number: a long start, 1412.214 or
# 99999.999, drawn in its box.
vossel_fault_variant(shown-value VOSSEL_FAULT_SHOWN_VALUE)
# /diagnose with stand-in readings (diagnose_stand_ins.cpp) in place of Wine's stubs: every field of
# the report with a value, and Windows' event 100 beside Vossel's phases.
vossel_fault_variant(diagnose-readings VOSSEL_FAULT_DIAGNOSE_READINGS)
