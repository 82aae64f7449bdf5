# Stages the installed headers and runs Doxygen over them for the zid_doc target; any warning
# fails it, with the count and the first ones.
#   cmake -DBUILD_DIR=... -DSTAGE=... -DDOXYGEN=... -DDOXYFILE=... -DLOG=... -DHTML=... -P ZidDocRun.cmake
file(REMOVE_RECURSE ${STAGE} ${HTML} ${LOG})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --component zid_headers --prefix ${STAGE}
                OUTPUT_QUIET RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "API reference: the headers could not be staged in ${STAGE}")
endif()
execute_process(COMMAND ${DOXYGEN} ${DOXYFILE} RESULT_VARIABLE rc)
set(warnings)
if(EXISTS ${LOG})
  file(STRINGS ${LOG} warnings REGEX ": (warning|error): ")
endif()
list(LENGTH warnings count)
if(count GREATER 0 OR NOT rc EQUAL 0)
  if(count GREATER 20)
    list(SUBLIST warnings 0 20 warnings)
  endif()
  string(JOIN "\n" shown ${warnings})
  # zid/op/ObjectOp.h is src/op/ObjectOp.h: the staged copies keep the lines.
  string(REPLACE "${STAGE}/include/" "" shown "${shown}")
  message(FATAL_ERROR "${shown}\nAPI reference: ${count} Doxygen warnings (exit ${rc}); all of them in ${LOG}")
endif()
message(STATUS "API reference: no Doxygen warning; ${HTML}/index.html")
