# GoogleTest for a cross build: Debian's libgtest-dev ships Linux libraries only, so the test
# framework is compiled from the sources it also ships (/usr/src/googletest) with the same
# compiler as the project. Point GTest_DIR here (the windows preset does) and find_package(GTest)
# yields the usual GTest::gtest, GTest::gtest_main, GTest::gmock and GTest::gmock_main targets.
set(PDFMERGE_GOOGLETEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH
    "GoogleTest sources compiled for cross builds")

if(NOT TARGET GTest::gtest)
  if(NOT EXISTS "${PDFMERGE_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
    set(GTest_FOUND FALSE)
    set(GTest_NOT_FOUND_MESSAGE
        "no GoogleTest sources in ${PDFMERGE_GOOGLETEST_SOURCE_DIR} (install libgtest-dev)")
    return()
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  # Keep the framework's own warnings out of the project's -Werror builds.
  add_subdirectory("${PDFMERGE_GOOGLETEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest"
                   EXCLUDE_FROM_ALL SYSTEM)
endif()
set(GTest_FOUND TRUE)
