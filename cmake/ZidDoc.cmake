# API reference: Doxygen over the headers exactly as they are installed (ZidVersion.h with them),
# so the reference shows the includes a consumer writes. The zid_doc target fails on any warning.
find_program(ZID_DOXYGEN doxygen)
if(NOT ZID_DOXYGEN)
  return()
endif()
set(ZID_DOC_DIR ${CMAKE_BINARY_DIR}/doc)
set(ZID_DOC_STAGE ${ZID_DOC_DIR}/stage)
# Settings live in the repository's Doxyfile; only this build's paths are added here.
file(WRITE ${ZID_DOC_DIR}/Doxyfile
  "@INCLUDE = ${PROJECT_SOURCE_DIR}/Doxyfile\n"
  # The front page says what the library is and where to start; the README, a page of its
  # own, says how to build and test.
  "INPUT = ${PROJECT_SOURCE_DIR}/docs/mainpage.dox ${ZID_DOC_STAGE}/${CMAKE_INSTALL_INCLUDEDIR}/zid ${PROJECT_SOURCE_DIR}/README.md\n"
  "EXAMPLE_PATH = ${PROJECT_SOURCE_DIR}/examples\n"
  "EXAMPLE_PATTERNS = *.cpp\n"
  "RECURSIVE = YES\n"
  "STRIP_FROM_PATH = ${ZID_DOC_STAGE}/${CMAKE_INSTALL_INCLUDEDIR} ${PROJECT_SOURCE_DIR}\n"
  "STRIP_FROM_INC_PATH = ${ZID_DOC_STAGE}/${CMAKE_INSTALL_INCLUDEDIR}\n"
  "OUTPUT_DIRECTORY = ${ZID_DOC_DIR}\n"
  "WARN_LOGFILE = ${ZID_DOC_DIR}/warnings.log\n")
add_custom_target(zid_doc
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DSTAGE=${ZID_DOC_STAGE}
          -DDOXYGEN=${ZID_DOXYGEN} -DDOXYFILE=${ZID_DOC_DIR}/Doxyfile
          -DLOG=${ZID_DOC_DIR}/warnings.log -DHTML=${ZID_DOC_DIR}/html
          -P ${PROJECT_SOURCE_DIR}/cmake/ZidDocRun.cmake
  WORKING_DIRECTORY ${ZID_DOC_DIR}
  VERBATIM)
