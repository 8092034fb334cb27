# Converts EXAMPLES/greet.h with KORVE into WORK and fails unless the text is
# EXAMPLES/greet.asm, byte for byte.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND "${KORVE}" "${EXAMPLES}/greet.h" "${WORK}/greet.asm"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 1)
  message(FATAL_ERROR "korve exited with ${status}, not 1")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK}/greet.asm" "${EXAMPLES}/greet.asm"
                RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "korve's text of examples/greet.h is not examples/greet.asm")
endif()
