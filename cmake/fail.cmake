# A test that fails and says why: cmake -DREASON=... -P fail.cmake
message(FATAL_ERROR "${REASON}")
