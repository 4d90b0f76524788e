# The fuzz entry is a library of its own so that the libFuzzer target (fuzz build) and the
# corpus replay test (normal build) link the same code without compiling it twice.
if(NOT TARGET orvane_pqz_fuzz_entry)
  add_library(orvane_pqz_fuzz_entry STATIC ${PROJECT_SOURCE_DIR}/fuzz/pqz_file_entry.cpp)
  target_include_directories(orvane_pqz_fuzz_entry PUBLIC ${PROJECT_SOURCE_DIR}/fuzz)
  target_link_libraries(orvane_pqz_fuzz_entry PUBLIC orvane_pqz)
endif()
