# Regenerates the shipped examples into WORK and fails unless they match the
# committed files in EXAMPLES.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND "${GENERATOR}" "${WORK}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make_example failed: ${status}")
endif()
file(GLOB written RELATIVE "${WORK}" "${WORK}/*")
foreach(name IN LISTS written)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK}/${name}" "${EXAMPLES}/${name}"
                  RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    message(FATAL_ERROR "examples/${name} is out of date: run make_example examples")
  endif()
endforeach()
