# Writes the grammar again into WORK and fails unless it is the committed
# GRAMMAR, byte for byte.
execute_process(COMMAND "${GENERATOR}" "${WORK}/alasm.tmLanguage.json" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "alasm_grammar failed: ${status}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK}/alasm.tmLanguage.json" "${GRAMMAR}"
                RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "${GRAMMAR} is out of date: run build/editors/alasm_grammar ${GRAMMAR}")
endif()
