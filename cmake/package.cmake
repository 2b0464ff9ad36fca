# The setup program and the portable zip: scripts/package makes them from the exes of both trees
# (as the end-to-end tests, this tree expects build/windows-x86 to be built first), then they are
# checked, and the setup program installs, upgrades and uninstalls under Wine in a prefix of its own.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8 OR NOT CMAKE_HOST_UNIX)
    return()
endif()

set(package_dist ${CMAKE_SOURCE_DIR}/build/dist)
add_test(NAME package_build COMMAND ${CMAKE_SOURCE_DIR}/scripts/package --prebuilt
    --base-url https://example.invalid/vossel/${PROJECT_VERSION})
set_tests_properties(package_build PROPERTIES FIXTURES_SETUP package)
add_test(NAME package_contents COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/check_dist.sh
    ${package_dist})
add_test(NAME package_install COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/install_test.sh
    ${package_dist}/Vossel-${PROJECT_VERSION}-setup.exe $<TARGET_FILE:Vossel>)
add_test(NAME package_manifests COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/package/check_manifests.py
    ${package_dist})
# Its own release folder, signed with a throw-away certificate.
add_test(NAME package_signing COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/signing_test.sh)
set_tests_properties(package_contents package_manifests PROPERTIES FIXTURES_REQUIRED package)
set_tests_properties(package_install PROPERTIES FIXTURES_REQUIRED package TIMEOUT 1800
    RESOURCE_LOCK wine_prefix)  # its own prefix, but the same X screen as the others
