# End-to-end tests: a 64-bit GoogleTest program that runs the real Vossel.exe under Wine and
# judges it from outside. It is built in the x64 tree only and drives both exes from there.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    return()
endif()

set(VOSSEL_E2E_X86_EXE ${CMAKE_SOURCE_DIR}/build/windows-x86/Vossel.exe
    CACHE FILEPATH "The 32-bit Vossel.exe that the end-to-end tests run as well")

file(GLOB e2e_sources CONFIGURE_DEPENDS tests/e2e/*.cpp)
add_executable(vossel_e2e ${e2e_sources})
target_link_libraries(vossel_e2e PRIVATE GTest::gtest
    user32 gdi32 advapi32 shell32 ole32 oleaut32 oleacc psapi ntdll ${static_runtime})
target_compile_definitions(vossel_e2e PRIVATE ${windows_definitions}
    VOSSEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(vossel_e2e Vossel)

# The tests run the exes under Wine and read the screen through X: a Unix host only.
if(NOT CMAKE_HOST_UNIX)
    return()
endif()

set(e2e_artifacts ${CMAKE_BINARY_DIR}/e2e-artifacts)
file(MAKE_DIRECTORY ${e2e_artifacts}/x64 ${e2e_artifacts}/x86)

# Every test that runs under Wine (windows_tests too) holds the lock wine_prefix: they share one
# prefix, its registry and wineserver, and one X screen, and wine-run shuts the prefix down when
# it ends, so two of them side by side would pull it from under each other.
add_test(NAME e2e_x64 COMMAND ${wine_runner} $<TARGET_FILE:vossel_e2e> --target=$<TARGET_FILE:Vossel>)
add_test(NAME e2e_x86 COMMAND ${wine_runner} $<TARGET_FILE:vossel_e2e> --target=${VOSSEL_E2E_X86_EXE})
set_tests_properties(e2e_x64 PROPERTIES TIMEOUT 900 RESOURCE_LOCK wine_prefix
    ENVIRONMENT VOSSEL_E2E_ARTIFACTS=${e2e_artifacts}/x64)
# Where 32-bit code runs under qemu-i386 (scripts/i386-support), every start takes about a minute.
set_tests_properties(e2e_x86 PROPERTIES TIMEOUT 2400 RESOURCE_LOCK wine_prefix
    ENVIRONMENT VOSSEL_E2E_ARTIFACTS=${e2e_artifacts}/x86)

# Placement and whole texts on other screens: the 64-bit exe alone, each entry on a private X
# screen of its size with the prefix at the stated DPI, in Simplified Chinese unless a locale is
# named. 1024 x 768 is the smallest screen the windows are made for, at 100 %, and its double at
# 200 %. The 96 dpi entry of each other language reads the screen reader's texts too; a fresh Wine
# server in that locale for each.
set(fit_tests "ScreenPlacement.*:History.ShowsWholeTexts*")
foreach(screen IN ITEMS zh_CN:1024x768:96 zh_CN:1280x720:96 zh_CN:1600x900:96 zh_CN:1920x1080:144
        zh_CN:2048x1536:192 en_US:1024x768:96 en_US:1920x1080:144 en_US:2048x1536:192
        zh_TW:1024x768:96 zh_TW:1920x1080:144 zh_TW:2048x1536:192)
    string(REPLACE ":" ";" fields ${screen})
    list(GET fields 0 locale)
    list(GET fields 1 size)
    list(GET fields 2 dpi)
    if(locale STREQUAL "zh_CN")
        set(name e2e_placement_${size}_${dpi}dpi)
        set(filter ${fit_tests})
        set(artifacts ${e2e_artifacts}/x64)
    else()
        set(name e2e_language_${locale}_${dpi}dpi)
        set(filter ${fit_tests})
        if(dpi EQUAL 96)
            set(name e2e_language_${locale})
            set(filter "Accessibility.*:${fit_tests}")
        endif()
        set(artifacts ${e2e_artifacts}/x64-${locale})
    endif()
    add_test(NAME ${name} COMMAND ${wine_runner} $<TARGET_FILE:vossel_e2e>
        --target=$<TARGET_FILE:Vossel> --gtest_filter=${filter})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 RESOURCE_LOCK wine_prefix
        ENVIRONMENT "DISPLAY=;VOSSEL_XVFB_SCREEN=${size}x24;VOSSEL_E2E_PLACEMENT=${dpi};VOSSEL_LOCALE=${locale}.UTF-8;VOSSEL_E2E_ARTIFACTS=${artifacts}")
endforeach()
file(MAKE_DIRECTORY ${e2e_artifacts}/x64-en_US ${e2e_artifacts}/x64-zh_TW)

# The watching of a start, alone: without the watch's mutex that the other runs hold, on a private
# X screen, in a prefix of its own whose shell (and so the 90 s watch) this run starts. The test
# waits out the watch, and a 32-bit Vossel may start slowly.
foreach(arch IN ITEMS x64 x86)
    if(arch STREQUAL "x64")
        set(target_exe $<TARGET_FILE:Vossel>)
        set(timeout 900)
    else()
        set(target_exe ${VOSSEL_E2E_X86_EXE})
        set(timeout 2400)
    endif()
    add_test(NAME e2e_watch_${arch} COMMAND ${wine_runner} $<TARGET_FILE:vossel_e2e> --target=${target_exe}
        --gtest_filter=StartupWatch.*)
    set_tests_properties(e2e_watch_${arch} PROPERTIES TIMEOUT ${timeout}
        ENVIRONMENT "DISPLAY=;VOSSEL_E2E_WATCH=1;VOSSEL_WINEPREFIX=${CMAKE_BINARY_DIR}/watch-prefix-${arch};VOSSEL_E2E_ARTIFACTS=${e2e_artifacts}/${arch}")
    # A log-off while the watch goes on: a start of its own, so a prefix of its own.
    add_test(NAME e2e_watch_end_${arch} COMMAND ${wine_runner} $<TARGET_FILE:vossel_e2e> --target=${target_exe}
        --gtest_filter=StartupWatchEnd.*)
    set_tests_properties(e2e_watch_end_${arch} PROPERTIES TIMEOUT ${timeout}
        ENVIRONMENT "DISPLAY=;VOSSEL_E2E_WATCH=1;VOSSEL_WINEPREFIX=${CMAKE_BINARY_DIR}/watch-end-prefix-${arch};VOSSEL_E2E_ARTIFACTS=${e2e_artifacts}/${arch}")
endforeach()

add_test(NAME pe_headers COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/check_pe.sh
    $<TARGET_FILE:Vossel> ${VOSSEL_E2E_X86_EXE})
add_test(NAME pe_hardening COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/check_hardening.sh
    $<TARGET_FILE:Vossel> ${VOSSEL_E2E_X86_EXE})
