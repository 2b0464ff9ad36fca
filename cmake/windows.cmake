# Windows build: Vossel.exe, its platform layer and the Windows-side tests.
enable_language(RC)

set(VOSSEL_SEGMENT_FONT /usr/share/fonts/truetype/dseg/DSEG7Classic-Bold.ttf
    CACHE FILEPATH "Seven-segment face embedded for the duration label when DS-Digital is not installed")

set(windows_definitions UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

if(NOT MSVC)
    # Static runtime: the exe needs nothing but Windows' own DLLs.
    set(static_runtime -static -static-libgcc -static-libstdc++)
    # Hardening: ASLR, DEP, stack protector; and the sections nothing uses left out.
    set(hardening_compile -fstack-protector-strong)
    set(hardening_link -Wl,--dynamicbase -Wl,--nxcompat -fstack-protector-strong
        $<$<CONFIG:Release>:-s> -Wl,--gc-sections)
    # -O3's inlining and unrolling make the code of a small utility twice as large, for speed it
    # never needs; small code also loads faster.
    string(REPLACE "-O3" "-Os" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
    string(REPLACE "-O3" "-Os" CMAKE_C_FLAGS_RELEASE "${CMAKE_C_FLAGS_RELEASE}")
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        list(APPEND hardening_link -Wl,--high-entropy-va)
    endif()
endif()

file(GLOB platform_sources CONFIGURE_DEPENDS src/platform/*.cpp src/platform/ui/*.cpp)
add_library(vossel_platform STATIC ${platform_sources})
target_include_directories(vossel_platform PUBLIC src resources)
target_compile_definitions(vossel_platform PUBLIC ${windows_definitions})
target_compile_options(vossel_platform PUBLIC ${hardening_compile})
target_link_options(vossel_platform PUBLIC ${hardening_compile})
# ole32 and oleaut32 are bound late (platform/system_api.h); uuid gives the interfaces' ids.
target_link_libraries(vossel_platform PUBLIC user32 gdi32 uuid advapi32 comctl32)

target_compile_definitions(vossel_logic PUBLIC ${windows_definitions})
target_compile_options(vossel_logic PUBLIC ${hardening_compile})

file(GLOB app_sources CONFIGURE_DEPENDS src/app/*.cpp)
list(FILTER app_sources EXCLUDE REGEX "/winmain\\.cpp$")
list(APPEND app_sources ${windows_side_sources})
add_library(vossel_app STATIC ${app_sources})
target_link_libraries(vossel_app PUBLIC vossel_logic vossel_platform)

# The event log's message texts, compiled into the exe's resources: vossel.rc includes the
# generated script, which names the .bin file of each language.
set(messages_dir ${CMAKE_BINARY_DIR}/generated)
set(messages_outputs ${messages_dir}/start_messages.rc ${messages_dir}/start_messages.h
    ${messages_dir}/MSG00409.bin ${messages_dir}/MSG00804.bin
    ${messages_dir}/MSG00404.bin)
set(messages_source ${CMAKE_SOURCE_DIR}/resources/start_messages.mc)
if(MSVC)
    # mc.exe reads Unicode only as UTF-16LE (-u); the source is UTF-8.
    add_custom_command(OUTPUT ${messages_outputs}
        COMMAND powershell -NoProfile -Command
            "Get-Content -Encoding UTF8 '${messages_source}' | Set-Content -Encoding Unicode '${messages_dir}/start_messages.mc'"
        COMMAND mc -u -U -h ${messages_dir} -r ${messages_dir} ${messages_dir}/start_messages.mc
        DEPENDS ${messages_source} VERBATIM)
else()
    string(REGEX REPLACE "windres$" "windmc" VOSSEL_WINDMC ${CMAKE_RC_COMPILER})
    add_custom_command(OUTPUT ${messages_outputs}
        COMMAND ${VOSSEL_WINDMC} -C 65001 -U -h ${messages_dir} -r ${messages_dir} ${messages_source}
        DEPENDS ${messages_source} VERBATIM)
endif()
add_custom_target(vossel_messages DEPENDS ${messages_outputs})
set_source_files_properties(resources/vossel.rc PROPERTIES OBJECT_DEPENDS
    "${messages_outputs};${texts_table};${text_tables}")

add_executable(Vossel WIN32 src/app/winmain.cpp resources/vossel.rc)
add_dependencies(Vossel vossel_messages vossel_texts)
target_link_libraries(Vossel PRIVATE vossel_app ${static_runtime} ${hardening_link})
# The version record's numbers, from VERSION through project(). Its text form is major.minor with
# two digits of minor ("1.00").
set(version_minor_text 0${PROJECT_VERSION_MINOR})
string(REGEX MATCH "..$" version_minor_text ${version_minor_text})
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/version_numbers.h CONTENT
"#define VOSSEL_VERSION_MAJOR ${PROJECT_VERSION_MAJOR}
#define VOSSEL_VERSION_MINOR ${PROJECT_VERSION_MINOR}
#define VOSSEL_VERSION_BUILD ${PROJECT_VERSION_PATCH}
#define VOSSEL_VERSION_REVISION ${PROJECT_VERSION_TWEAK}
#define VOSSEL_VERSION_TEXT \"${PROJECT_VERSION_MAJOR}.${version_minor_text}\"
#define VOSSEL_VERSION_FULL L\"${PROJECT_VERSION}\"
")
target_include_directories(Vossel PRIVATE ${CMAKE_BINARY_DIR}/generated)
# The start records carry the version.
target_include_directories(vossel_app PRIVATE ${CMAKE_BINARY_DIR}/generated)
if(EXISTS "${VOSSEL_SEGMENT_FONT}")
    # The resource compiler takes the path from a generated script rather than a quoted define.
    file(WRITE ${CMAKE_BINARY_DIR}/generated/segment_font.rc
        "IDR_SEGMENT_FONT RCDATA \"${VOSSEL_SEGMENT_FONT}\"\n")
    target_include_directories(Vossel PRIVATE ${CMAKE_BINARY_DIR}/generated)
    target_compile_definitions(Vossel PRIVATE VOSSEL_EMBED_SEGMENT_FONT)
else()
    message(STATUS "No seven-segment face at ${VOSSEL_SEGMENT_FONT}; the duration label uses the platform's face")
endif()

# A test-only variant with one late-bound name that its library does not export.
include(cmake/faults.cmake)

# The DLL that the planted-DLL test puts beside Vossel.exe in a Downloads folder.
add_library(vossel_planted SHARED tests/e2e/probes/planted.cpp)
target_compile_definitions(vossel_planted PRIVATE ${windows_definitions})
target_link_libraries(vossel_planted PRIVATE ${static_runtime})
set_target_properties(vossel_planted PROPERTIES OUTPUT_NAME planted PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/e2e-probes)

# The stand-in start-up program that the watching test registers under four entry names.
add_executable(vossel_burn WIN32 tests/e2e/probes/burn.cpp)
target_compile_definitions(vossel_burn PRIVATE ${windows_definitions})
target_link_libraries(vossel_burn PRIVATE shell32 ${static_runtime})
set_target_properties(vossel_burn PROPERTIES OUTPUT_NAME burn
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/e2e-probes)

# Windows-side tests, run under Wine (or natively on Windows), when GoogleTest's sources are there.
if(NOT EXISTS ${googletest_dir}/CMakeLists.txt)
    message(STATUS "No GoogleTest sources at ${googletest_dir}: building the program only")
    include(cmake/bench.cmake)
    return()
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${googletest_dir} googletest EXCLUDE_FROM_ALL)

# Cross-built on Linux, the tests run under Wine; on Windows they run as they are.
if(CMAKE_HOST_UNIX)
    set(wine_runner ${CMAKE_SOURCE_DIR}/scripts/wine-run)
else()
    set(wine_runner)
endif()

file(GLOB windows_test_sources CONFIGURE_DEPENDS tests/windows/*.cpp)
if(windows_test_sources)
    add_executable(vossel_windows_tests ${windows_test_sources} resources/texts/texts.rc)
    add_dependencies(vossel_windows_tests vossel_texts)
    target_link_libraries(vossel_windows_tests PRIVATE vossel_app GTest::gtest_main oleacc ${static_runtime})
    # The message-table test reads the built exe beside it.
    add_dependencies(vossel_windows_tests Vossel)
    add_test(NAME windows_tests COMMAND ${wine_runner} $<TARGET_FILE:vossel_windows_tests>)
    set_tests_properties(windows_tests PROPERTIES RESOURCE_LOCK wine_prefix)
endif()

# End-to-end tests of the real exes.
include(cmake/e2e.cmake OPTIONAL)

# The setup program and the portable zip, made and installed under Wine.
include(cmake/package.cmake OPTIONAL)

# The benchmark's programs, built only when scripts/bench asks for them.
include(cmake/bench.cmake)
