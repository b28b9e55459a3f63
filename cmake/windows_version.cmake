# A Windows version resource (what Explorer's Properties and installers read), compiled by the
# toolchain's resource compiler from the project's version.
enable_language(RC)

function(pdfmerge_version_resource target file_name file_type description)
  set(PDFMERGE_RC_FILE_NAME ${file_name})
  set(PDFMERGE_RC_FILE_TYPE ${file_type})
  set(PDFMERGE_RC_DESCRIPTION ${description})
  set(rc ${PROJECT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
