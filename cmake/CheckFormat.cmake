# Fails when a C++ file of the repository differs from what .clang-format
# makes of it.  Run by the test `format` with -DCLANG_FORMAT=<program>
# -DSOURCE_DIR=<repository>.
cmake_minimum_required(VERSION 3.25)
file(GLOB_RECURSE files
  "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp"
  "${SOURCE_DIR}/tests/*.h" "${SOURCE_DIR}/tests/*.cpp"
  "${SOURCE_DIR}/bench/*.h" "${SOURCE_DIR}/bench/*.cpp"
  "${SOURCE_DIR}/fuzz/*.h" "${SOURCE_DIR}/fuzz/*.cpp"
  "${SOURCE_DIR}/examples/*.h" "${SOURCE_DIR}/examples/*.cpp")
execute_process(COMMAND "${CLANG_FORMAT}" --dry-run --Werror ${files}
                RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "Files not in the layout of .clang-format (clang-format -i FILE mends them):\n${errors}")
endif()
