# The benchmark's Windows-side programs (scripts/bench runs them; no test depends on them).
# minimal_window: the floor any Win32 window program pays; measure_loop: the measurement in a
# loop, linked against the production libraries; bench_driver: the 64-bit debugger that times
# both exes, reusing the end-to-end harness.
set(bench_output ${CMAKE_BINARY_DIR}/bench)

add_executable(minimal_window WIN32 EXCLUDE_FROM_ALL bench/minimal_window.cpp)
target_compile_definitions(minimal_window PRIVATE ${windows_definitions})
target_compile_options(minimal_window PRIVATE ${hardening_compile})
target_link_libraries(minimal_window PRIVATE user32 gdi32 ${static_runtime} ${hardening_link})

add_executable(measure_loop EXCLUDE_FROM_ALL bench/measure_loop.cpp)
target_link_libraries(measure_loop PRIVATE vossel_app ${static_runtime} ${hardening_link})

set_target_properties(minimal_window measure_loop PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${bench_output})

# The harness checks what it reads with GoogleTest's assertions, so the driver needs it too.
if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND TARGET GTest::gtest)
    add_executable(bench_driver EXCLUDE_FROM_ALL bench/bench_driver.cpp tests/e2e/harness.cpp)
    target_include_directories(bench_driver PRIVATE tests/e2e)
    target_compile_definitions(bench_driver PRIVATE ${windows_definitions})
    target_link_libraries(bench_driver PRIVATE GTest::gtest
        user32 gdi32 advapi32 shell32 ole32 oleaut32 psapi ntdll ${static_runtime})
    set_target_properties(bench_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${bench_output})
endif()
