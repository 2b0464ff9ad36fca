# Native build: the platform-free logic and its unit tests.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${googletest_dir} googletest EXCLUDE_FROM_ALL)

file(GLOB unit_test_sources CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(vossel_unit_tests ${unit_test_sources})
target_link_libraries(vossel_unit_tests PRIVATE vossel_logic GTest::gtest_main)
# The text tables as C++ rows (cmake/check_texts.cmake).
add_dependencies(vossel_unit_tests vossel_texts)
target_include_directories(vossel_unit_tests PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_compile_definitions(vossel_unit_tests PRIVATE
    VOSSEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

include(GoogleTest)
gtest_discover_tests(vossel_unit_tests DISCOVERY_TIMEOUT 60)

# The artwork generator: draws the main-window picture and the icon deterministically.
add_library(vossel_artwork STATIC resources/artwork/artwork.cpp)
target_include_directories(vossel_artwork PUBLIC resources/artwork)
add_executable(generate_artwork resources/artwork/generate_artwork.cpp)
target_link_libraries(generate_artwork PRIVATE vossel_artwork)
target_link_libraries(vossel_unit_tests PRIVATE vossel_artwork)
