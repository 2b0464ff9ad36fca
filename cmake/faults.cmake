# Test-only variants of Vossel.exe for the fault tests, built from the same sources into
# fault-<name>/Vossel.exe beside the real one. They share nothing compiled with it: a define that
# changes an inline variable must reach every object that sees it.
if(MSVC)
    return()
endif()

function(vossel_fault_variant name definition)
    set(target VosselFault_${name})
    add_executable(${target} WIN32 src/app/winmain.cpp ${app_sources} ${platform_sources} resources/vossel.rc)
    target_include_directories(${target} PRIVATE src resources)
    target_compile_definitions(${target} PRIVATE ${windows_definitions} ${definition})
    target_compile_options(${target} PRIVATE ${hardening_compile})
    target_link_libraries(${target} PRIVATE vossel_logic user32 gdi32 ole32 oleaut32 uuid advapi32
        comctl32 ${static_runtime} ${hardening_link})
    if(EXISTS "${VOSSEL_SEGMENT_FONT}")
        target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated)
        target_compile_definitions(${target} PRIVATE VOSSEL_EMBED_SEGMENT_FONT)
    endif()
    # The generated version numbers and event messages.
    target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated)
    add_dependencies(${target} vossel_messages)
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
