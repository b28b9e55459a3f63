# What `cmake --install` puts in place for hosts that build against the library:
#   include/kq_out_pdfmerge.h
#   the library (on Linux lib/libkq_out_pdfmerge.so.X.Y.Z with the links .so.X and .so; on
#   Windows the DLL in bin/ and its import library in lib/)
#   bin/kq-pdfmerge, and its manual page share/man/man1/kq-pdfmerge.1 (not on Windows)
#   lib/cmake/kq_out_pdfmerge/  find_package(kq_out_pdfmerge) -> kq_out_pdfmerge::kq_out_pdfmerge
#   lib/pkgconfig/kq_out_pdfmerge.pc
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(PDFMERGE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kq_out_pdfmerge)

install(TARGETS kq_out_pdfmerge EXPORT kq_out_pdfmerge_targets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/kq_out_pdfmerge.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS kq-pdfmerge RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32)
  install(FILES ${PROJECT_BINARY_DIR}/kq-pdfmerge.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(NOT WIN32 AND NOT APPLE)
  # The installed program finds the installed library wherever the tree is put.
  file(RELATIVE_PATH PDFMERGE_BIN_TO_LIB "/prefix/${CMAKE_INSTALL_BINDIR}"
       "/prefix/${CMAKE_INSTALL_LIBDIR}")
  set_target_properties(kq-pdfmerge PROPERTIES INSTALL_RPATH "$ORIGIN/${PDFMERGE_BIN_TO_LIB}")
endif()

install(EXPORT kq_out_pdfmerge_targets NAMESPACE kq_out_pdfmerge::
        FILE kq_out_pdfmergeTargets.cmake DESTINATION ${PDFMERGE_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kq_out_pdfmergeConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/kq_out_pdfmergeConfig.cmake
                              INSTALL_DESTINATION ${PDFMERGE_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kq_out_pdfmergeConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kq_out_pdfmergeConfig.cmake
              ${PROJECT_BINARY_DIR}/kq_out_pdfmergeConfigVersion.cmake
        DESTINATION ${PDFMERGE_CMAKE_DIR})

# The .pc file names its folders relative to its own place, so the installed tree can move.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(PDFMERGE_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(PDFMERGE_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
  set(PDFMERGE_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
else()
  file(RELATIVE_PATH PDFMERGE_PC_UP "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  string(REGEX REPLACE "/$" "" PDFMERGE_PC_UP "${PDFMERGE_PC_UP}")
  set(PDFMERGE_PC_PREFIX "\${pcfiledir}/${PDFMERGE_PC_UP}")
  set(PDFMERGE_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
  set(PDFMERGE_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/kq_out_pdfmerge.pc.in
               ${PROJECT_BINARY_DIR}/kq_out_pdfmerge.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kq_out_pdfmerge.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
